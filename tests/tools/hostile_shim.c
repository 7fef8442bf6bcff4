// A hostile machine for whole runs, loaded with LD_PRELOAD: FAIL_MALLOC_AT=N makes the N-th
// malloc of the process fail, FAIL_THREAD_AT=N the N-th pthread_create, and SHORT_READS=K
// makes every read return at most K bytes (as a pipe-like file system does).
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <stdatomic.h>
#include <stdlib.h>
#include <unistd.h>

extern void* __libc_malloc(size_t size);

static atomic_long mallocs, threads;

static long Setting(const char* name) {
    const char* value = getenv(name);
    return value ? atol(value) : 0;
}

void* malloc(size_t size) {
    static long failAt = -1;  // read on the first call: getenv does not allocate
    if (failAt < 0)
        failAt = Setting("FAIL_MALLOC_AT");
    if (failAt > 0 && atomic_fetch_add(&mallocs, 1) + 1 == failAt) {
        errno = ENOMEM;
        return NULL;
    }
    return __libc_malloc(size);
}

int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*run)(void*), void* arg) {
    int (*real)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) =
        (int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*))dlsym(
            RTLD_NEXT, "pthread_create");
    const long failAt = Setting("FAIL_THREAD_AT");
    if (failAt > 0 && atomic_fetch_add(&threads, 1) + 1 == failAt)
        return EAGAIN;
    return real(thread, attr, run, arg);
}

ssize_t read(int fd, void* buffer, size_t size) {
    ssize_t (*real)(int, void*, size_t) = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    const long most = Setting("SHORT_READS");
    return real(fd, buffer, most > 0 && size > (size_t)most ? (size_t)most : size);
}
