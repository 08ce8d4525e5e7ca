/* Launches that read one claim link at the same moment, for the processes this is put in front of the C
   library of (LD_PRELOAD): the first read of a claim link (a name beginning "claim.link") in each process
   returns only once STARGRID_TEST_READ_PARTIES processes have each made theirs, so each judged what the
   others judged before any acts on it. They meet in the folder STARGRID_TEST_READ_BARRIER, each leaving a
   file named after its pid; one left alone goes on after 20 s. Unset: reads as they are. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int met;

static int claimLink(const char* path) {
    const char* name = strrchr(path, '/');
    return strncmp(name ? name + 1 : path, "claim.link", 10) == 0;
}

static int arrived(const char* folder) {
    DIR* entries = opendir(folder);
    int count = 0;
    if (!entries) return 0;
    for (struct dirent* entry; (entry = readdir(entries));) count += entry->d_name[0] != '.';
    closedir(entries);
    return count;
}

static void meet(const char* path) {
    const char* folder = getenv("STARGRID_TEST_READ_BARRIER");
    const char* parties = getenv("STARGRID_TEST_READ_PARTIES");
    if (met || !folder || !parties || !claimLink(path)) return;
    met = 1;
    char mine[4096];
    snprintf(mine, sizeof mine, "%s/%d", folder, (int)getpid());
    close(open(mine, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const struct timespec pause = {0, 1000000};
    for (int wait = 0; wait < 20000 && arrived(folder) < atoi(parties); ++wait) nanosleep(&pause, NULL);
}

ssize_t readlinkat(int folder, const char* path, char* buffer, size_t size) {
    static ssize_t (*real)(int, const char*, char*, size_t);
    if (!real) real = (ssize_t(*)(int, const char*, char*, size_t))dlsym(RTLD_NEXT, "readlinkat");
    const ssize_t result = real(folder, path, buffer, size);
    const int error = errno;
    meet(path);
    errno = error;
    return result;
}

ssize_t readlink(const char* path, char* buffer, size_t size) { return readlinkat(AT_FDCWD, path, buffer, size); }
