/* Locks as a home on NFS answers them, for a process this is put in front of the C library of
   (LD_PRELOAD). STARGRID_TEST_NFS_LOCKS says which home:
     lockd  NFS with its lock service: flock() is emulated with whole-file record locks, so a folder
            cannot be locked (ENOLCK) and an exclusive lock needs a descriptor open for writing (EBADF);
     none   NFS without its lock service: every flock() and record lock (fcntl, SQLite's included)
            fails with ENOLCK.
   Unset or anything else: locks as the local file system answers them. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>

static int homeIs(const char* kind) {
    const char* home = getenv("STARGRID_TEST_NFS_LOCKS");
    return home && strcmp(home, kind) == 0;
}

int flock(int fd, int operation) {
    static int (*real)(int, int);
    if (!real) real = (int (*)(int, int))dlsym(RTLD_NEXT, "flock");
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
    return real(fd, operation);
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
    static int (*realFcntl)(int, int, ...);
    static int (*realFcntl64)(int, int, ...);
    int (**real)(int, int, ...) = strcmp(name, "fcntl") == 0 ? &realFcntl : &realFcntl64;
    if (!*real) *real = (int (*)(int, int, ...))dlsym(RTLD_NEXT, name);
    return (*real)(fd, command, argument);
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
