// The thin Windows part of the platform layer: what the real platform offers in its own way
// (the runtime's clock, the module handle, opening a file for reading, the reason of a failed
// bitmap load). Everything else the
// library and the game call is the platform's own. No fault hooks are compiled in.
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/d3d.h"
#include "platform/gdi.h"

// The records handed to DirectDraw and Direct3D are sized with sizeof. In a 32-bit program
// these are the sizes the DirectX 6 interfaces define (the numbers older code wrote down);
// the 32-bit build checks that it sees exactly them.
#if !defined(_WIN64)
static_assert(sizeof(DDSURFACEDESC2) == 124);
static_assert(sizeof(DDBLTFX) == 100);
static_assert(sizeof(DDCAPS) == 380);
static_assert(sizeof(DDPIXELFORMAT) == 32);
static_assert(sizeof(D3DVIEWPORT2) == 44);
static_assert(sizeof(D3DMATERIAL) == 80);
static_assert(sizeof(D3DLIGHT2) == 80);
static_assert(sizeof(D3DVERTEX) == 32);
#endif

namespace platform {

long Clock() {
    // The runtime counts CLOCKS_PER_SEC (1000) ticks a second from process start.
    return static_cast<long>(clock() * 1000LL / CLOCKS_PER_SEC);
}

const std::string& LastImageError() {
    static const std::string none;  // the platform's loader says nothing of why it failed
    return none;
}

HINSTANCE ModuleInstance() {
    return GetModuleHandleA(nullptr);
}

int OpenRegularFile(const char* path) {
    // Binary: the reader sees the file's bytes as they are, carriage returns included.
    int fd = _open(path, _O_RDONLY | _O_BINARY);
    if (fd < 0)
        return -1;
    struct _stat info;
    if (_fstat(fd, &info) != 0) {
        const int error = errno;
        _close(fd);
        errno = error;
        return -1;
    }
    if ((info.st_mode & _S_IFMT) != _S_IFREG) {
        _close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

FILE* OpenWritableFile(const char* path, const char* mode) {
    // Text mode, as fopen gives it: line feeds are written CR LF. A path on a disk names a
    // file, a folder or a device; none of them holds the open.
    return fopen(path, mode);
}

}  // namespace platform
