// The two result-code name tables behind DirectDrawErrorName and Direct3DErrorName.
#pragma once

#include <cstddef>
#include <cstdint>

struct ErrorNameRow {
    uint32_t code;  // the whole 32-bit result code
    const char* name;
};

struct ErrorNameTable {
    const ErrorNameRow* rows;  // sorted by code
    size_t count;
};

extern const ErrorNameTable DirectDrawErrorNames;
extern const ErrorNameTable Direct3DErrorNames;
