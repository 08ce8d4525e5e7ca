// Preloaded into a program (LD_PRELOAD) to measure its frames from outside, the same way for every
// program whatever library it draws with: each buffer swap (GLX or EGL) ends a frame. Per frame it
// records the CPU time of the thread that swaps and of all the process's threads (which counts the
// software rasterizer's work), the wall time and the draw calls; at the first swap, the time since
// launch; the resident memory when the warm-up frames are done and at the end. After the frames it
// was asked for it writes one line of JSON (medians, and the measured frame of most main-thread CPU
// with its number, the first swap being frame 1) and ends the process.
//
// Environment: BENCH_OUT (the file the line is appended to), BENCH_WARMUP (frames not measured,
// default 30), BENCH_FRAMES (frames measured, default 200), BENCH_T0_NS (CLOCK_MONOTONIC at launch,
// in nanoseconds; cold start is measured from it).
//
// GL functions reach a program in three ways: linked (the preload takes the call first), looked up
// with glXGetProcAddress / eglGetProcAddress, or with dlsym on the GL library's handle (as SDL
// does). The shim answers all three with its own wrappers.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

typedef void (*Function)(void);

static void* (*realDlsym)(void*, const char*);

// The C library's dlsym, found by version since the shim defines its own.
static void findRealDlsym(void) {
    if (realDlsym) return;
    realDlsym = (void* (*)(void*, const char*))dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (!realDlsym) realDlsym = (void* (*)(void*, const char*))dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
}

static void* lookUpNext(const char* name) {
    findRealDlsym();
    return realDlsym ? realDlsym(RTLD_NEXT, name) : NULL;
}

// ---- frames ----

enum { kMaxFrames = 100000 };

static struct {
    int started;
    int warmup, frames, seen;
    double launch;  // seconds, CLOCK_MONOTONIC; 0 when not given
    double firstSwap;
    double lastCpu, lastProcessCpu, lastWall, measuredWall;
    long warmResident;  // kilobytes when the warm-up frames were done
    long drawsThisFrame;
    double cpu[kMaxFrames], processCpu[kMaxFrames], wall[kMaxFrames];
    long draws[kMaxFrames];
} shim;

static double seconds(clockid_t clock) {
    struct timespec t;
    clock_gettime(clock, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

static int envInt(const char* name, int fallback) {
    const char* text = getenv(name);
    return text && *text ? atoi(text) : fallback;
}

static int byDouble(const void* a, const void* b) {
    const double x = *(const double*)a, y = *(const double*)b;
    return (x > y) - (x < y);
}

static int byLong(const void* a, const void* b) {
    const long x = *(const long*)a, y = *(const long*)b;
    return (x > y) - (x < y);
}

static long residentKilobytes(void) {
    long pages = 0, resident = 0;
    FILE* statm = fopen("/proc/self/statm", "r");
    if (statm) {
        if (fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static void report(void) {
    const int n = shim.frames;
    const double wallTotal = shim.measuredWall;
    int worst = 0;
    for (int i = 1; i < n; ++i)
        if (shim.cpu[i] > shim.cpu[worst]) worst = i;
    const double worstCpu = shim.cpu[worst];
    qsort(shim.cpu, (size_t)n, sizeof(double), byDouble);
    qsort(shim.processCpu, (size_t)n, sizeof(double), byDouble);
    qsort(shim.wall, (size_t)n, sizeof(double), byDouble);
    qsort(shim.draws, (size_t)n, sizeof(long), byLong);
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    const char* path = getenv("BENCH_OUT");
    FILE* out = path && *path ? fopen(path, "a") : stderr;
    if (!out) out = stderr;
    fprintf(out,
            "{\"frames\": %d, \"cpu_ms\": %.4f, \"process_cpu_ms\": %.4f, \"wall_ms\": %.4f, \"fps\": %.3f, "
            "\"draws\": %ld, "
            "\"first_swap_ms\": %.3f, \"peak_rss_kb\": %ld, \"rss_kb\": %ld, \"warm_rss_kb\": %ld, "
            "\"worst_cpu_ms\": %.4f, \"worst_frame\": %d}\n",
            n, shim.cpu[n / 2] * 1e3, shim.processCpu[n / 2] * 1e3, shim.wall[n / 2] * 1e3,
            wallTotal > 0 ? n / wallTotal : 0.0, shim.draws[n / 2],
            shim.launch > 0 ? (shim.firstSwap - shim.launch) * 1e3 : -1.0, usage.ru_maxrss, residentKilobytes(),
            shim.warmResident, worstCpu * 1e3, shim.warmup + worst + 2);
    if (out != stderr) fclose(out);
    _exit(0);
}

static void endFrame(void) {
    const double cpu = seconds(CLOCK_THREAD_CPUTIME_ID), wall = seconds(CLOCK_MONOTONIC);
    const double processCpu = seconds(CLOCK_PROCESS_CPUTIME_ID);
    if (!shim.started) {
        shim.started = 1;
        shim.warmup = envInt("BENCH_WARMUP", 30);
        shim.frames = envInt("BENCH_FRAMES", 200);
        if (shim.frames < 1) shim.frames = 1;
        if (shim.frames > kMaxFrames) shim.frames = kMaxFrames;
        const char* t0 = getenv("BENCH_T0_NS");
        shim.launch = t0 && *t0 ? (double)strtoll(t0, NULL, 10) * 1e-9 : 0.0;
        shim.firstSwap = wall;
    } else if (shim.seen > shim.warmup) {
        const int i = shim.seen - shim.warmup - 1;
        shim.cpu[i] = cpu - shim.lastCpu;
        shim.processCpu[i] = processCpu - shim.lastProcessCpu;
        shim.wall[i] = wall - shim.lastWall;
        shim.draws[i] = shim.drawsThisFrame;
        shim.measuredWall += wall - shim.lastWall;
    }
    shim.lastCpu = cpu;
    shim.lastProcessCpu = processCpu;
    shim.lastWall = wall;
    shim.drawsThisFrame = 0;
    if (shim.seen == shim.warmup) shim.warmResident = residentKilobytes();
    if (shim.seen++ == shim.warmup + shim.frames) report();
}

// ---- wrapped functions ----

typedef unsigned int GLenum;
typedef int GLint;
typedef int GLsizei;
typedef unsigned int GLuint;

// The real function behind each wrapper: whichever way the program found it first, else the next
// definition after the shim.
#define REAL(name, type)                                         \
    static type real_##name;                                     \
    static type next_##name(void) {                              \
        if (!real_##name) real_##name = (type)lookUpNext(#name); \
        return real_##name;                                      \
    }

typedef void (*DrawArrays)(GLenum, GLint, GLsizei);
typedef void (*DrawElements)(GLenum, GLsizei, GLenum, const void*);
typedef void (*DrawRangeElements)(GLenum, GLuint, GLuint, GLsizei, GLenum, const void*);
typedef void (*DrawArraysInstanced)(GLenum, GLint, GLsizei, GLsizei);
typedef void (*DrawElementsInstanced)(GLenum, GLsizei, GLenum, const void*, GLsizei);
typedef int (*EglSwap)(void*, void*);
typedef void (*GlxSwap)(void*, unsigned long);
typedef Function (*GetProc)(const char*);

REAL(glDrawArrays, DrawArrays)
REAL(glDrawElements, DrawElements)
REAL(glDrawRangeElements, DrawRangeElements)
REAL(glDrawArraysInstanced, DrawArraysInstanced)
REAL(glDrawElementsInstanced, DrawElementsInstanced)
REAL(eglSwapBuffers, EglSwap)
REAL(glXSwapBuffers, GlxSwap)
REAL(glXGetProcAddress, GetProc)
REAL(glXGetProcAddressARB, GetProc)
REAL(eglGetProcAddress, GetProc)

void glDrawArrays(GLenum mode, GLint first, GLsizei count) {
    ++shim.drawsThisFrame;
    next_glDrawArrays()(mode, first, count);
}

void glDrawElements(GLenum mode, GLsizei count, GLenum type, const void* indices) {
    ++shim.drawsThisFrame;
    next_glDrawElements()(mode, count, type, indices);
}

void glDrawRangeElements(GLenum mode, GLuint start, GLuint end, GLsizei count, GLenum type, const void* indices) {
    ++shim.drawsThisFrame;
    next_glDrawRangeElements()(mode, start, end, count, type, indices);
}

void glDrawArraysInstanced(GLenum mode, GLint first, GLsizei count, GLsizei instances) {
    ++shim.drawsThisFrame;
    next_glDrawArraysInstanced()(mode, first, count, instances);
}

void glDrawElementsInstanced(GLenum mode, GLsizei count, GLenum type, const void* indices, GLsizei instances) {
    ++shim.drawsThisFrame;
    next_glDrawElementsInstanced()(mode, count, type, indices, instances);
}

int eglSwapBuffers(void* display, void* surface) {
    const int swapped = next_eglSwapBuffers()(display, surface);
    endFrame();
    return swapped;
}

void glXSwapBuffers(void* display, unsigned long drawable) {
    next_glXSwapBuffers()(display, drawable);
    endFrame();
}

Function glXGetProcAddress(const char* name);
Function glXGetProcAddressARB(const char* name);
Function eglGetProcAddress(const char* name);

// The wrapper for a name, after noting the real function the program would have got.
static Function wrap(const char* name, Function real) {
#define WRAP(fn, type)                                  \
    if (strcmp(name, #fn) == 0) {                       \
        if (real && !real_##fn) real_##fn = (type)real; \
        return real ? (Function)fn : NULL;              \
    }
    WRAP(glDrawArrays, DrawArrays)
    WRAP(glDrawElements, DrawElements)
    WRAP(glDrawRangeElements, DrawRangeElements)
    WRAP(glDrawArraysInstanced, DrawArraysInstanced)
    WRAP(glDrawElementsInstanced, DrawElementsInstanced)
    WRAP(eglSwapBuffers, EglSwap)
    WRAP(glXSwapBuffers, GlxSwap)
    WRAP(glXGetProcAddress, GetProc)
    WRAP(glXGetProcAddressARB, GetProc)
    WRAP(eglGetProcAddress, GetProc)
#undef WRAP
    return real;
}

Function glXGetProcAddress(const char* name) { return wrap(name, next_glXGetProcAddress()(name)); }
Function glXGetProcAddressARB(const char* name) { return wrap(name, next_glXGetProcAddressARB()(name)); }
Function eglGetProcAddress(const char* name) { return wrap(name, next_eglGetProcAddress()(name)); }

void* dlsym(void* handle, const char* name) {
    findRealDlsym();
    void* real = realDlsym ? realDlsym(handle, name) : NULL;
    return (void*)wrap(name, (Function)real);
}
