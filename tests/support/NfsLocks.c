/* Locks as a home on NFS answers them, for a process this is put in front of the C library of
   (LD_PRELOAD). STARGRID_TEST_NFS_LOCKS says which home:
     lockd   NFS with its lock service: flock() is emulated with whole-file record locks, so a folder
             cannot be locked (ENOLCK) and an exclusive lock needs a descriptor open for writing (EBADF);
     none    NFS without its lock service: every flock() and record lock (fcntl, SQLite's included)
             fails with ENOLCK;
     nolock  NFS mounted with -o nolock: every flock() succeeds, but excludes only the programs of the
             client that takes it. A client is a boot id as its processes see it
             (/proc/sys/kernel/random/boot_id, which another machine of a test binds its own over). The lock
             is taken on a file of the client's own for the file locked, in STARGRID_TEST_NFS_LOCKS_DIR (else
             /tmp), through a descriptor kept at the locked one's number plus kShadowOffset, which follows it:
             duplicated, closed and marked close-on-exec with it, so a lock is handed down across exec as the
             kernel hands it down. Record locks are as the local file system answers them.
   Unset or anything else: locks as the local file system answers them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

static int homeIs(const char* kind) {
    const char* home = getenv("STARGRID_TEST_NFS_LOCKS");
    return home && strcmp(home, kind) == 0;
}

static int realFlock(int fd, int operation) {
    static int (*real)(int, int);
    if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "flock");
    return real(fd, operation);
}

static int realClose(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    return real(fd);
}

static int realDup3(int from, int to, int flags) {
    static int (*real)(int, int, int);
    if (!real) real = (int (*)(int, int, int))dlsym(RTLD_NEXT, "dup3");
    return real(from, to, flags);
}

static int realFcntl(int fd, int command, void* argument) {
    static int (*real)(int, int, ...);
    if (!real) real = (int (*)(int, int, ...))dlsym(RTLD_NEXT, "fcntl");
    return real(fd, command, argument);
}

/* -o nolock: the descriptor of the client's lock file for the file on `fd` sits at fd + kShadowOffset. */
enum { kShadowOffset = 512 };

static int shadowSlot(int fd) {
    struct rlimit limit;
    if (fd < 0 || getrlimit(RLIMIT_NOFILE, &limit) != 0 || (rlim_t)fd + kShadowOffset >= limit.rlim_cur) return -1;
    return fd + kShadowOffset;
}

/* The client's lock file for the file open on `fd`. */
static int shadowPath(int fd, char* path, size_t size) {
    static char client[64];
    struct stat info;
    if (fstat(fd, &info) != 0) return -1;
    if (!client[0]) {
        const int boot = open("/proc/sys/kernel/random/boot_id", O_RDONLY | O_CLOEXEC);
        const ssize_t read_ = boot >= 0 ? read(boot, client, sizeof client - 1) : -1;
        if (boot >= 0) realClose(boot);
        client[read_ > 0 ? read_ : 0] = '\0';
        client[strcspn(client, "\n")] = '\0';
        if (!client[0]) strcpy(client, "unknown");
    }
    const char* folder = getenv("STARGRID_TEST_NFS_LOCKS_DIR");
    snprintf(path, size, "%s/nolock-%s-%lx-%lx", folder && *folder ? folder : "/tmp", client,
             (unsigned long)info.st_dev, (unsigned long)info.st_ino);
    return 0;
}

/* The slot of `fd` holds the client's lock file for the file on it. */
static int shadowed(int fd) {
    const int slot = shadowSlot(fd);
    struct stat held, wanted;
    char path[4096];
    if (slot < 0 || fstat(slot, &held) != 0) return 0;
    return shadowPath(fd, path, sizeof path) == 0 && stat(path, &wanted) == 0 && held.st_dev == wanted.st_dev &&
           held.st_ino == wanted.st_ino;
}

/* After `to` became a copy of `from` (or was replaced), its slot follows. */
static void follow(int from, int to, int cloexec) {
    if (!homeIs("nolock") || to < 0) return;
    const int slot = shadowSlot(to);
    if (slot < 0) return;
    if (from >= 0 && shadowed(from))
        realDup3(shadowSlot(from), slot, cloexec ? O_CLOEXEC : 0);
    else
        realClose(slot);
}

static int nolockFlock(int fd, int operation) {
    const int slot = shadowSlot(fd);
    if (slot < 0) {
        errno = ENOLCK;
        return -1;
    }
    if (!shadowed(fd)) {
        if (operation & LOCK_UN) return 0;
        char path[4096];
        if (shadowPath(fd, path, sizeof path) != 0) return -1;
        const int file = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (file < 0) return -1;
        const int flags = realFcntl(fd, F_GETFD, NULL);
        const int placed = realDup3(file, slot, flags >= 0 && (flags & FD_CLOEXEC) ? O_CLOEXEC : 0);
        realClose(file);
        if (placed < 0) return -1;
    }
    return realFlock(slot, operation);
}

int flock(int fd, int operation) {
    if (homeIs("nolock")) return nolockFlock(fd, operation);
    if ((operation & LOCK_UN) == 0) {
        if (homeIs("none")) {
            errno = ENOLCK;
            return -1;
        }
        if (homeIs("lockd")) {
            struct stat info;
            if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
                errno = ENOLCK;
                return -1;
            }
            const int access = fcntl(fd, F_GETFL);
            if ((operation & LOCK_EX) && access >= 0 && (access & O_ACCMODE) == O_RDONLY) {
                errno = EBADF;
                return -1;
            }
        }
    }
    return realFlock(fd, operation);
}

int close(int fd) {
    if (homeIs("nolock") && shadowed(fd)) realClose(shadowSlot(fd));
    return realClose(fd);
}

int dup(int fd) {
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "dup");
    const int copy = real(fd);
    follow(fd, copy, 0);
    return copy;
}

int dup2(int from, int to) {
    static int (*real)(int, int);
    if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "dup2");
    const int copy = real(from, to);
    if (copy >= 0 && from != to) follow(from, copy, 0);
    return copy;
}

int dup3(int from, int to, int flags) {
    const int copy = realDup3(from, to, flags);
    follow(from, copy, flags & O_CLOEXEC);
    return copy;
}

static int isRecordLock(int command) {
    return command == F_SETLK || command == F_SETLKW || command == F_GETLK || command == F_OFD_SETLK ||
           command == F_OFD_SETLKW || command == F_OFD_GETLK;
}

/* fcntl's third argument is a pointer or an int; both travel in one register, read as a pointer. */
static int lockedFcntl(const char* name, int fd, int command, void* argument) {
    if (isRecordLock(command) && homeIs("none")) {
        const struct flock* lock = argument;
        if (command != F_GETLK && command != F_OFD_GETLK && lock && lock->l_type == F_UNLCK) return 0;
        errno = ENOLCK;
        return -1;
    }
    static int (*realFcntl64)(int, int, ...);
    const int wide = strcmp(name, "fcntl64") == 0;
    if (wide && !realFcntl64) realFcntl64 = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
    const int result = wide ? realFcntl64(fd, command, argument) : realFcntl(fd, command, argument);
    if (result >= 0 && (command == F_DUPFD || command == F_DUPFD_CLOEXEC))
        follow(fd, result, command == F_DUPFD_CLOEXEC);
    if (result >= 0 && command == F_SETFD && homeIs("nolock") && shadowed(fd))
        realFcntl(shadowSlot(fd), F_SETFD, argument);
    return result;
}

int fcntl(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return lockedFcntl("fcntl", fd, command, argument);
}

int fcntl64(int fd, int command, ...) {
    va_list arguments;
    va_start(arguments, command);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    return lockedFcntl("fcntl64", fd, command, argument);
}
