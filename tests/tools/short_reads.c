// Preloaded into whole runs: SHORT_READS=K makes every read return at most K bytes, as a
// pipe-like file system does.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

ssize_t read(int fd, void* buffer, size_t size) {
    ssize_t (*real)(int, void*, size_t) = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    const size_t most = getenv("SHORT_READS") ? strtoul(getenv("SHORT_READS"), NULL, 10) : 0;
    return real(fd, buffer, most > 0 && size > most ? most : size);
}
