/* SPDX-License-Identifier: MIT */
/*
 * Faults for the lumeo tool's file writes, preloaded into the tool by the tests
 * (LD_PRELOAD=liblumeo_write_faults.so LUMEO_FAULT=...):
 *
 *   stop-in-write        the first write to a regular file writes half its bytes, then the
 *                        process stops itself (SIGSTOP) for the test to signal it
 *   stop-before-rename:N the N-th renameat (from 1) stops the process before it renames
 *   enospc-after:N       writes to regular files fail with ENOSPC once N bytes went to them
 *
 * Only regular files are affected: the tool's messages on standard error go through.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static long Argument(const char* fault, const char* name)
{
    const size_t n = strlen(name);
    if (fault == NULL || strncmp(fault, name, n) != 0) {
        return -1;
    }
    return fault[n] == ':' ? atol(fault + n + 1) : 1;
}

static int IsRegularFile(int fd)
{
    struct stat st;
    return fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

__attribute__((visibility("default"))) ssize_t write(int fd, const void* buffer, size_t count)
{
    static ssize_t (*real)(int, const void*, size_t);
    static long written;
    static int stopped;
    if (real == NULL) {
        real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    }
    const char* fault = getenv("LUMEO_FAULT");
    if (fault == NULL || !IsRegularFile(fd)) {
        return real(fd, buffer, count);
    }
    if (Argument(fault, "stop-in-write") > 0 && count > 1 && !__atomic_exchange_n(&stopped, 1, __ATOMIC_SEQ_CST)) {
        const ssize_t half = real(fd, buffer, count / 2);
        raise(SIGSTOP);
        return half;
    }
    const long limit = Argument(fault, "enospc-after");
    if (limit >= 0) {
        const long before = __atomic_fetch_add(&written, (long)count, __ATOMIC_SEQ_CST);
        if (before >= limit) {
            errno = ENOSPC;
            return -1;
        }
        if (before + (long)count > limit) {
            return real(fd, buffer, (size_t)(limit - before));
        }
    }
    return real(fd, buffer, count);
}

__attribute__((visibility("default"))) int renameat(int oldDir, const char* oldPath, int newDir, const char* newPath)
{
    static int (*real)(int, const char*, int, const char*);
    static long calls;
    if (real == NULL) {
        real = (int (*)(int, const char*, int, const char*))dlsym(RTLD_NEXT, "renameat");
    }
    const long stopAt = Argument(getenv("LUMEO_FAULT"), "stop-before-rename");
    if (stopAt > 0 && __atomic_add_fetch(&calls, 1, __ATOMIC_SEQ_CST) == stopAt) {
        raise(SIGSTOP);
    }
    return real(oldDir, oldPath, newDir, newPath);
}
