// What the probe's parts share: the one output file of "name: values" lines and the small
// records every part fills. Included after the platform's headers (ours or the real ones).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace probe {

inline FILE* out = nullptr;

inline void Line(const char* name, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
inline void Line(const char* name, const char* fmt, ...) {
    fprintf(out, "%s: ", name);
    va_list args;
    va_start(args, fmt);
    vfprintf(out, fmt, args);
    va_end(args);
    fputc('\n', out);
}

inline unsigned long Hex(HRESULT hr) {
    return static_cast<unsigned long>(static_cast<uint32_t>(hr));
}

// A surface description with its size set and nothing else.
inline DDSURFACEDESC2 Desc() {
    DDSURFACEDESC2 desc;
    memset(&desc, 0, sizeof desc);
    desc.dwSize = sizeof desc;
    return desc;
}

}  // namespace probe
