/* Moments of a launch taking a claim link over, for the processes this is put in front of the C library of
   (LD_PRELOAD). Unset, everything is as it is.
   STARGRID_TEST_READ_BARRIER=FOLDER and STARGRID_TEST_READ_PARTIES=N: launches that judge one claim link at the
   same moment, then act on what they judged one after another. The first read of a claim link (a name
   beginning "claim.link") in each process returns only once N processes have each made theirs, so each judged
   what the others judged before any acts on it; then they go in turn, by pid: each waits until the one before
   it has read a claim link again (it checked what it did) or has ended. They meet in FOLDER, each leaving a
   file named after its pid, and PID.again once it reads again; one left alone goes on after 20 s.
   STARGRID_TEST_AFTER_ASIDE=kill or stop: the process kills (SIGKILL) or stops (SIGSTOP) itself right after it
   first moves a claim link aside (renames it to claim.link.leftover.…), as a launch killed or held there.
   STARGRID_TEST_AFTER_MAKE=bounce or TARGET: right after the process first makes a claim link, another launch
   moves it aside to judge it, as one that acts on what it judged a moment before does: with bounce, it puts
   it back as soon as the process has tried to open it; with a TARGET, a link naming TARGET takes its place.
   STARGRID_TEST_BEFORE_LISTEN=stop: the process stops itself (SIGSTOP) right before it first binds a Unix socket
   whose name ends in ".sock", as a game held at the end of its start-up, its claim taken and not yet listening
   (never a pid namespace's first process, which ignores a signal it sends itself).
   STARGRID_TEST_BUSY=SECONDS:FILE: once FILE is there, the process is busy for SECONDS (asleep, not stopped) when
   it first goes to accept a connection that waits on a socket, as a game drawing slow first frames under load.
   STARGRID_TEST_WINDOW_GATE=FILE: the process's window opens only once FILE is gone, as a game whose start is slow
   (a cold start, a loaded machine) opens its window late; while it waits, FILE.waiting is there. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

static int reads;
static int movedAside;
static int made;
static const char* bounced; /* the folder of a link moved aside to be put back, while it is away */

static int named(const char* path, const char* prefix) {
    const char* name = strrchr(path, '/');
    return strncmp(name ? name + 1 : path, prefix, strlen(prefix)) == 0;
}

static void leave(const char* folder, const char* suffix) {
    char mine[4096];
    snprintf(mine, sizeof mine, "%s/%d%s", folder, (int)getpid(), suffix);
    close(open(mine, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
}

/* The pids that arrived, in order; how many. */
static int arrived(const char* folder, int* pids, int most) {
    DIR* entries = opendir(folder);
    int count = 0;
    if (!entries) return 0;
    for (struct dirent* entry; (entry = readdir(entries));) {
        char* end = NULL;
        const long pid = strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || count == most) continue;
        int at = count++;
        for (; at > 0 && pids[at - 1] > pid; --at) pids[at] = pids[at - 1];
        pids[at] = (int)pid;
    }
    closedir(entries);
    return count;
}

static int readAgain(const char* folder, int pid) {
    char path[4096];
    snprintf(path, sizeof path, "%s/%d.again", folder, pid);
    return access(path, F_OK) == 0 || (kill(pid, 0) != 0 && errno == ESRCH);
}

static void meet(void) {
    const char* folder = getenv("STARGRID_TEST_READ_BARRIER");
    const char* parties = getenv("STARGRID_TEST_READ_PARTIES");
    if (!folder || !parties) return;
    if (++reads == 2) leave(folder, ".again");
    if (reads != 1) return;
    leave(folder, "");
    const struct timespec pause = {0, 1000000};
    int pids[64];
    int wait = 0;
    for (; wait < 20000 && arrived(folder, pids, 64) < atoi(parties); ++wait) nanosleep(&pause, NULL);
    const int count = arrived(folder, pids, 64);
    for (int rank = 1; rank < count; ++rank) {
        if (pids[rank] != (int)getpid()) continue;
        for (; wait < 20000 && !readAgain(folder, pids[rank - 1]); ++wait) nanosleep(&pause, NULL);
    }
}

ssize_t readlinkat(int folder, const char* path, char* buffer, size_t size) {
    static ssize_t (*real)(int, const char*, char*, size_t);
    if (!real) real = (ssize_t(*)(int, const char*, char*, size_t))dlsym(RTLD_NEXT, "readlinkat");
    const ssize_t result = real(folder, path, buffer, size);
    const int error = errno;
    if (named(path, "claim.link")) meet();
    errno = error;
    return result;
}

ssize_t readlink(const char* path, char* buffer, size_t size) { return readlinkat(AT_FDCWD, path, buffer, size); }

int renameat(int from, const char* old, int to, const char* fresh) {
    static int (*real)(int, const char*, int, const char*);
    if (!real) real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
    const int result = real(from, old, to, fresh);
    const char* after = getenv("STARGRID_TEST_AFTER_ASIDE");
    if (result == 0 && after && !movedAside && named(fresh, "claim.link.leftover.")) {
        movedAside = 1;
        if (strcmp(after, "kill") == 0) raise(SIGKILL);
        if (strcmp(after, "stop") == 0) raise(SIGSTOP);
    }
    return result;
}

/* What stands for the other launch's steps: each name as it lies in the folder of the link just made. */
static void sibling(const char* link, const char* name, char* path, size_t size) {
    const char* slash = strrchr(link, '/');
    snprintf(path, size, "%.*s%s", slash ? (int)(slash - link + 1) : 0, link, name);
}

int symlinkat(const char* target, int folder, const char* link) {
    static int (*real)(const char*, int, const char*);
    if (!real) real = (int (*)(const char*, int, const char*))dlsym(RTLD_NEXT, "symlinkat");
    const int result = real(target, folder, link);
    const char* after = getenv("STARGRID_TEST_AFTER_MAKE");
    if (result != 0 || !after || made || strcmp(strrchr(link, '/') ? strrchr(link, '/') + 1 : link, "claim.link") != 0)
        return result;
    made = 1;
    char aside[4096];
    sibling(link, "claim.link.judged", aside, sizeof aside);
    renameat(folder, link, folder, aside);
    if (strcmp(after, "bounce") == 0) {
        bounced = link;
    } else {
        real(after, folder, link);
        unlinkat(folder, aside, 0);
    }
    return result;
}

static int putBack(int folder, const char* path) {
    if (!bounced || strcmp(path, bounced) != 0) return 0;
    char aside[4096];
    sibling(bounced, "claim.link.judged", aside, sizeof aside);
    linkat(folder, aside, folder, bounced, 0);
    unlinkat(folder, aside, 0);
    bounced = NULL;
    return 1;
}

int openat(int folder, const char* path, int flags, ...) {
    static int (*real)(int, const char*, int, ...);
    if (!real) real = (int (*)(int, const char*, int, ...))dlsym(RTLD_NEXT, "openat");
    va_list rest;
    va_start(rest, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(rest, mode_t) : 0;
    va_end(rest);
    const int result = real(folder, path, flags, mode);
    const int error = errno;
    putBack(folder, path);
    errno = error;
    return result;
}

int bind(int fd, const struct sockaddr* address, socklen_t size) {
    static int (*real)(int, const struct sockaddr*, socklen_t);
    static int stopped;
    if (!real) real = (int (*)(int, const struct sockaddr*, socklen_t))dlsym(RTLD_NEXT, "bind");
    const char* before = getenv("STARGRID_TEST_BEFORE_LISTEN");
    if (before && strcmp(before, "stop") == 0 && !stopped && address && address->sa_family == AF_UNIX) {
        const char* path = ((const struct sockaddr_un*)address)->sun_path;
        const size_t length = strlen(path);
        if (length > 5 && strcmp(path + length - 5, ".sock") == 0) {
            stopped = 1;
            raise(SIGSTOP);
        }
    }
    return real(fd, address, size);
}

/* SDL's, to a program that links SDL. */
typedef struct SDL_Window SDL_Window;
SDL_Window* SDL_CreateWindow(const char* title, int x, int y, int width, int height, unsigned flags) {
    static SDL_Window* (*real)(const char*, int, int, int, int, unsigned);
    if (!real) real = (SDL_Window * (*)(const char*, int, int, int, int, unsigned)) dlsym(RTLD_NEXT, "SDL_CreateWindow");
    const char* gate = getenv("STARGRID_TEST_WINDOW_GATE");
    if (gate && *gate) {
        char waiting[4096];
        snprintf(waiting, sizeof waiting, "%s.waiting", gate);
        close(open(waiting, O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
        struct timespec step = {0, 10 * 1000 * 1000};
        while (access(gate, F_OK) == 0) nanosleep(&step, NULL);
        unlink(waiting);
    }
    return real(title, x, y, width, height, flags);
}

int accept4(int fd, struct sockaddr* address, socklen_t* size, int flags) {
    static int (*real)(int, struct sockaddr*, socklen_t*, int);
    static int busy;
    if (!real) real = (int (*)(int, struct sockaddr*, socklen_t*, int))dlsym(RTLD_NEXT, "accept4");
    const char* when = getenv("STARGRID_TEST_BUSY");
    const char* file = when ? strchr(when, ':') : NULL;
    struct pollfd waiting = {fd, POLLIN, 0};
    if (file && !busy && access(file + 1, F_OK) == 0 && poll(&waiting, 1, 0) == 1) {
        busy = 1;
        struct timespec left = {atoi(when), 0};
        while (nanosleep(&left, &left) != 0 && errno == EINTR) continue;
    }
    return real(fd, address, size, flags);
}
