// The quiet report of a failed load: its reason kept for the game to read.
#include "directx/load_error.h"

#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/gdi.h"

int quietLoadErrors = 0;

namespace {

char loadError[512];

uint32_t Little(const unsigned char* p, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

}  // namespace

void SetLoadError(const char* name, const char* format, ...) {
    int used = snprintf(loadError, sizeof loadError, "%s: ", name ? name : "");
    if (used < 0 || static_cast<size_t>(used) >= sizeof loadError)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(loadError + used, sizeof loadError - static_cast<size_t>(used), format, args);
    va_end(args);
}

const char* LastLoadError() {
    return loadError;
}

void ClearLoadError() {
    loadError[0] = '\0';
}

const char* FileFailureReason(int errorNumber) {
    switch (errorNumber) {
        case ENOENT:
        case ENOTDIR:
            return "no such file";
        case EACCES:
            return "not a file that can be read";
        default:
            return strerror(errorNumber);
    }
}

void DescribeBitmapFailure(const char* path, char* out, size_t size) {
    const int fd = platform::OpenRegularFile(path);
    if (fd < 0) {
        snprintf(out, size, "%s", FileFailureReason(errno));
        return;
    }
    // The file header (14 bytes) and the start of the info header, up to its compression.
    unsigned char header[34] = {};
    const long got = static_cast<long>(read(fd, header, sizeof header));
    close(fd);
    if (got < 2 || header[0] != 'B' || header[1] != 'M') {
        snprintf(out, size, "not a BMP file");
        return;
    }
    const std::string& loader = platform::LastImageError();
    if (!loader.empty()) {
        snprintf(out, size, "%s", loader.c_str());
        return;
    }
    if (got < static_cast<long>(sizeof header)) {
        snprintf(out, size, "the BMP file is cut short");
        return;
    }
    const uint32_t infoSize = Little(header + 14, 4);
    const unsigned bits = infoSize == 12 ? Little(header + 24, 2) : Little(header + 28, 2);
    const uint32_t compression = infoSize == 12 ? 0 : Little(header + 30, 4);
    if (compression == 1 || compression == 2)
        snprintf(out, size, "run-length encoded %u-bit bitmaps are not supported", bits);
    else
        snprintf(out, size, "%u-bit bitmaps could not be loaded", bits);
}
