// Opening a file that is meant to be read whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/base.h"

namespace platform {

int OpenRegularFile(const char* path) {
    // Non-blocking, so that a FIFO without a writer (or a device that waits) cannot hold the
    // open; only once the path is known to be a regular file does the descriptor block again.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    struct stat info;
    if (fd < 0) {
        // A socket, or a device without its driver, cannot be opened at all: it is refused
        // like every other thing that is not a regular file.
        const int error = errno;
        errno = stat(path, &info) == 0 && !S_ISREG(info.st_mode) ? EACCES : error;
        return -1;
    }
    if (fstat(fd, &info) != 0) {
        const int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    const int flags = fcntl(fd, F_GETFL);
    if (!S_ISREG(info.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = S_ISREG(info.st_mode) ? errno : EACCES;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace platform
