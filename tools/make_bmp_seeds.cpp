// Writes a few of the conformance probe's bitmap variants (tests/conformance/bmp_variants.h)
// as seeds of the bitmap fuzz target: each file behind the target's four leading bytes
// (destination size, offset, stretch). Run from the repository root:
//
//   g++ -std=c++17 -I. tools/make_bmp_seeds.cpp -o /tmp/make_bmp_seeds &&
//       /tmp/make_bmp_seeds fuzz/corpus/bitmap_fuzz
//
// The output is committed; the build does not run this.
#include <cstdio>
#include <string>

#include "tests/conformance/bmp_variants.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_bmp_seeds CORPUS_DIR\n");
        return 2;
    }
    const char* const chosen[] = {"pal1.info",         "pal4.core",     "pal8.v5.topdown",
                                  "rgb16.info",        "rgb565.v4",     "bitfields.rgb101010",
                                  "alpha.v5",          "rle8.skips",    "rle4.skips",
                                  "rle8.run-past-row", "rle4.truncated"};
    int written = 0;
    for (const bmp_variants::Variant& v : bmp_variants::All()) {
        bool wanted = false;
        for (const char* name : chosen)
            wanted = wanted || v.name == name;
        if (!wanted)
            continue;
        const std::string path = std::string(argv[1]) + "/" + v.name;
        FILE* f = std::fopen(path.c_str(), "wb");
        const unsigned char prefix[4] = {24, 12, 1, static_cast<unsigned char>(written & 1)};
        if (!f || std::fwrite(prefix, 1, 4, f) != 4 ||
            std::fwrite(v.bytes.data(), 1, v.bytes.size(), f) != v.bytes.size()) {
            std::fprintf(stderr, "make_bmp_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
        std::fclose(f);
        ++written;
    }
    std::printf("%d seeds written\n", written);
    return written == static_cast<int>(sizeof chosen / sizeof *chosen) ? 0 : 1;
}
