/* A wall clock a test can turn back: put in front of the C library (LD_PRELOAD) in a child process,
   it moves CLOCK_REALTIME by the offset the child sets, and counts the threads that have read the
   moved clock, so the child knows when OpenAL's mixing threads have seen it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <pthread.h>
#include <stdatomic.h>
#include <time.h>

#define MAX_READERS 64

static atomic_long offsetSeconds;
static atomic_ulong turner;
static atomic_ulong readers[MAX_READERS];
static atomic_int readerCount;

static void noteReader(void) {
    const unsigned long self = (unsigned long)pthread_self();
    if (self == atomic_load(&turner)) return;
    const int count = atomic_load(&readerCount);
    for (int i = 0; i < count && i < MAX_READERS; ++i) {
        if (atomic_load(&readers[i]) == self) return;
    }
    const int slot = atomic_fetch_add(&readerCount, 1);
    if (slot < MAX_READERS) atomic_store(&readers[slot], self);
}

int clock_gettime(clockid_t clock, struct timespec* now) {
    static int (*real)(clockid_t, struct timespec*);
    if (!real) real = (int (*)(clockid_t, struct timespec*))dlsym(RTLD_NEXT, "clock_gettime");
    const int result = real(clock, now);
    const long offset = atomic_load(&offsetSeconds);
    if (result == 0 && offset != 0 && (clock == CLOCK_REALTIME || clock == CLOCK_REALTIME_COARSE)) {
        now->tv_sec -= offset;
        noteReader();
    }
    return result;
}

/* From now on the wall clock reads `seconds` earlier. */
void stargrid_turn_wall_clock_back(long seconds) {
    atomic_store(&turner, (unsigned long)pthread_self());
    atomic_store(&offsetSeconds, seconds);
}

/* How many threads, other than the one that turned it, have read the clock since. */
int stargrid_wall_clock_readers(void) { return atomic_load(&readerCount); }
