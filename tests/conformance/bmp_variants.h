// Bitmap files of one small picture in every layout a BMP file can have: core, info, V4 and
// V5 headers; 1, 4 and 8 bits with palettes; RLE4 and RLE8 (with deltas and early line and
// bitmap ends); 16 bits as 5-5-5 and through bit fields; 24 and 32 bits; bottom-up and
// top-down; and malformed files a loader must refuse. Plain C++ with no platform headers, so
// the conformance probe writes the same bytes on Linux and on Windows, and
// tools/make_bmp_seeds.cpp writes them as fuzz seeds.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace bmp_variants {

constexpr int kWidth = 21;  // odd, so that rows of every depth carry padding
constexpr int kHeight = 9;

struct Colour {
    uint8_t r, g, b;
};

// The picture's 16 colours; index 15 is magenta, the library's transparent colour. No
// channel is a multiple of 8, so 16-bit formats show how their 5 or 6 bits are widened.
inline const Colour kPalette[16] = {{90, 13, 200},  {13, 140, 250}, {200, 30, 70},  {250, 250, 250},
                                    {1, 2, 3},      {130, 60, 20},  {70, 190, 45},  {222, 173, 137},
                                    {37, 37, 37},   {9, 99, 199},   {255, 200, 17}, {150, 5, 141},
                                    {66, 201, 166}, {181, 121, 61}, {245, 10, 130}, {255, 0, 255}};

// The picture as palette indices: long runs (for RLE), single pixels and the key; no two
// rows alike, so a flipped or shifted copy shows.
inline int Index(int x, int y) {
    if (y == 0)
        return x < 10 ? 15 : 3;
    if ((x + 2 * y) % 9 == 0)
        return 15;
    if (y % 3 == 1 && x >= 4 && x < 13)
        return y % 15;
    return (x / 3 * 5 + y * 7 + (x & 1) * (y % 4)) % 15;
}

struct Variant {
    std::string name;
    std::vector<uint8_t> bytes;
};

class Bytes {
public:
    std::vector<uint8_t> b;
    void u8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v) { u8(v), u8(v >> 8); }
    void u32(uint32_t v) { u16(v), u16(v >> 16); }
    void zeros(size_t n) { b.insert(b.end(), n, 0); }
    void pad(size_t to) {
        while (b.size() % to)
            u8(0);
    }
};

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5;

struct Spec {
    int header = 40;  // 12 (core), 40 (info), 108 (V4), 124 (V5)
    int bits = 24;
    uint32_t compression = kRgb;
    int width = kWidth;
    int height = kHeight;              // negative: top-down
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    int paletteEntries = 0;            // written after the header
    uint32_t clrUsed = 0;
    int planes = 1;
    size_t gap = 0;  // bytes between the palette and the pixels
    std::vector<uint8_t> pixels;
};

inline std::vector<uint8_t> Build(const Spec& s) {
    Bytes h;
    if (s.header == 12) {
        h.u32(12);
        h.u16(static_cast<uint32_t>(s.width));
        h.u16(static_cast<uint32_t>(s.height));
        h.u16(static_cast<uint32_t>(s.planes));
        h.u16(static_cast<uint32_t>(s.bits));
    } else {
        h.u32(static_cast<uint32_t>(s.header));
        h.u32(static_cast<uint32_t>(s.width));
        h.u32(static_cast<uint32_t>(s.height));
        h.u16(static_cast<uint32_t>(s.planes));
        h.u16(static_cast<uint32_t>(s.bits));
        h.u32(s.compression);
        h.u32(static_cast<uint32_t>(s.pixels.size()));
        h.u32(2835), h.u32(2835);
        h.u32(s.clrUsed), h.u32(0);
        if (s.header >= 108) {
            for (uint32_t m : s.masks)
                h.u32(m);
            h.u32(0x73524742);  // 'sRGB'
            h.zeros(36 + 12);   // end points and gamma
        }
        if (s.header >= 124) {
            h.u32(4);  // perceptual intent
            h.zeros(12);
        }
        if (s.header == 40 && s.compression == kBitFields)
            for (int i = 0; i < 3; ++i)
                h.u32(s.masks[i]);
    }
    for (int i = 0; i < s.paletteEntries; ++i) {
        const Colour& c = kPalette[i % 16];
        h.u8(c.b), h.u8(c.g), h.u8(c.r);
        if (s.header != 12)
            h.u8(0);
    }
    h.zeros(s.gap);
    Bytes f;
    const size_t offset = 14 + h.b.size();
    f.u8('B'), f.u8('M');
    f.u32(static_cast<uint32_t>(offset + s.pixels.size()));
    f.u32(0);
    f.u32(static_cast<uint32_t>(offset));
    f.b.insert(f.b.end(), h.b.begin(), h.b.end());
    f.b.insert(f.b.end(), s.pixels.begin(), s.pixels.end());
    return f.b;
}

// Uncompressed rows, each padded to 4 bytes, bottom row first unless top-down; pixels of
// fewer than 8 bits fill each byte from its high bits.
template <class F>
std::vector<uint8_t> Rows(int bits, bool topDown, F value) {
    Bytes o;
    for (int r = 0; r < kHeight; ++r) {
        const int y = topDown ? r : kHeight - 1 - r;
        uint32_t acc = 0;
        int filled = 0;
        for (int x = 0; x < kWidth; ++x) {
            const uint32_t v = value(x, y);
            if (bits < 8) {
                acc = (acc << bits) | v;
                filled += bits;
                if (filled == 8)
                    o.u8(acc), acc = 0, filled = 0;
            } else {
                for (int i = 0; i < bits; i += 8)
                    o.u8(v >> i);
            }
        }
        if (filled)
            o.u8(acc << (8 - filled));
        o.pad(4);
    }
    return o.b;
}

inline uint32_t Packed(Colour c, const uint32_t* masks) {
    uint32_t v = 0;
    const uint8_t channel[3] = {c.r, c.g, c.b};
    for (int i = 0; i < 3; ++i) {
        uint32_t m = masks[i];
        int shift = 0, width = 0;
        while (m && !(m & 1))
            m >>= 1, ++shift;
        while (m & 1)
            m >>= 1, ++width;
        v |= (static_cast<uint32_t>(channel[i]) >> (8 - std::min(width, 8))) << shift;
    }
    return v;
}

// RLE rows (bottom row first). Options put in the escapes a writer may use: a delta that
// skips part of a row and one that skips whole rows, a line ended early, the bitmap ended
// before its last row; `cut` drops that many bytes from the end (a truncated file).
struct Rle {
    bool skips = false;
    size_t cut = 0;
    int overrun = 0;  // a run this long at the start of the second row
};

inline void RleSpan(int bits, int y, int x0, int x1, Bytes& o) {
    auto runAt = [&](int x) {
        const int a = Index(x, y);
        const int b = bits == 4 && x + 1 < x1 ? Index(x + 1, y) : a;
        int n = 1;
        while (x + n < x1 && n < 255 && Index(x + n, y) == (n % 2 ? b : a))
            ++n;
        return n;
    };
    int x = x0;
    while (x < x1) {
        const int n = runAt(x);
        int m = 0;
        while (n < 3 && x + m < x1 && m < 255 && runAt(x + m) < 3)
            ++m;
        if (n >= 3 || m < 3) {
            const int a = Index(x, y);
            const int b = bits == 4 && n > 1 ? Index(x + 1, y) : a;
            o.u8(static_cast<uint32_t>(n));
            o.u8(bits == 8 ? static_cast<uint32_t>(a) : static_cast<uint32_t>(a << 4 | b));
            x += n;
            continue;
        }
        o.u8(0), o.u8(static_cast<uint32_t>(m));
        Bytes data;
        for (int i = 0; i < m; i += bits == 8 ? 1 : 2) {
            if (bits == 8)
                data.u8(static_cast<uint32_t>(Index(x + i, y)));
            else
                data.u8(static_cast<uint32_t>(Index(x + i, y) << 4 |
                                              (i + 1 < m ? Index(x + i + 1, y) : 0)));
        }
        data.pad(2);
        o.b.insert(o.b.end(), data.b.begin(), data.b.end());
        x += m;
    }
}

inline std::vector<uint8_t> RleRows(int bits, Rle opt) {
    Bytes o;
    for (int r = 0; r < kHeight; ++r) {
        const int y = kHeight - 1 - r;
        if (opt.skips && r == kHeight - 1) {
            o.u8(0), o.u8(1);  // the top row is never drawn
            break;
        }
        if (opt.overrun && r == 1) {
            o.u8(static_cast<uint32_t>(opt.overrun)), o.u8(bits == 8 ? 6 : 0x6C);
        } else if (opt.skips && r == 2) {
            RleSpan(bits, y, 0, 5, o);
            o.u8(0), o.u8(2), o.u8(4), o.u8(0);  // four pixels right
            RleSpan(bits, y, 9, kWidth, o);
        } else if (opt.skips && r == 4) {
            RleSpan(bits, y, 0, 6, o);
            o.u8(0), o.u8(2), o.u8(3), o.u8(2);  // three right, two rows up
            r += 2;
            RleSpan(bits, kHeight - 1 - r, 9, kWidth, o);
        } else if (opt.skips && r == 1) {
            RleSpan(bits, y, 0, 10, o);  // the line ends early
        } else {
            RleSpan(bits, y, 0, kWidth, o);
        }
        if (r == kHeight - 1)
            o.u8(0), o.u8(1);
        else
            o.u8(0), o.u8(0);
    }
    o.b.resize(o.b.size() - std::min(opt.cut, o.b.size()));
    return o.b;
}

inline std::vector<Variant> All() {
    std::vector<Variant> v;
    auto add = [&](const char* name, const Spec& s) { v.push_back(Variant{name, Build(s)}); };
    auto index = [](int x, int y) { return static_cast<uint32_t>(Index(x, y)); };
    auto direct = [](const uint32_t* masks) {
        return [masks](int x, int y) { return Packed(kPalette[Index(x, y)], masks); };
    };
    static const uint32_t k888[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0};
    static const uint32_t k888a[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    static const uint32_t kBgr[4] = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};
    static const uint32_t k101010[4] = {0x3FF00000, 0x000FFC00, 0x000003FF, 0};
    static const uint32_t k555[4] = {0x7C00, 0x03E0, 0x001F, 0};
    static const uint32_t k565[4] = {0xF800, 0x07E0, 0x001F, 0};
    static const uint32_t k444[4] = {0x0F00, 0x00F0, 0x000F, 0};

    Spec s;
    for (int header : {12, 40, 108, 124}) {
        const std::string h = header == 12    ? "core"
                              : header == 40  ? "info"
                              : header == 108 ? "v4"
                                              : "v5";
        for (bool topDown : {false, true}) {
            if (header == 12 && topDown)
                continue;  // the core header's height is unsigned
            const std::string suffix = h + (topDown ? ".topdown" : "");
            for (int bits : {1, 4, 8}) {
                s = Spec{};
                s.header = header;
                s.bits = bits;
                s.height = topDown ? -kHeight : kHeight;
                s.paletteEntries = 1 << bits;
                s.pixels = Rows(bits, topDown, [&](int x, int y) {
                    return static_cast<uint32_t>(Index(x, y) % (1 << bits));
                });
                add(("pal" + std::to_string(bits) + "." + suffix).c_str(), s);
            }
            s = Spec{};
            s.header = header;
            s.height = topDown ? -kHeight : kHeight;
            s.pixels = Rows(24, topDown, direct(k888));
            add(("rgb24." + suffix).c_str(), s);
            if (header == 12)
                continue;
            s.bits = 32;
            s.pixels = Rows(32, topDown, direct(k888));
            add(("rgb32." + suffix).c_str(), s);
            s.bits = 16;
            s.pixels = Rows(16, topDown, direct(k555));
            add(("rgb16." + suffix).c_str(), s);
            s.compression = kBitFields;
            std::copy(k565, k565 + 4, s.masks);
            s.pixels = Rows(16, topDown, direct(k565));
            add(("rgb565." + suffix).c_str(), s);
        }
    }

    // Palettes: shorter than the depth allows, indices past the palette's end, a gap before
    // the pixels.
    s = Spec{};
    s.bits = 8;
    s.paletteEntries = 16;
    s.clrUsed = 16;
    s.pixels = Rows(8, false, index);
    add("pal8.clrused16", s);
    s.paletteEntries = s.clrUsed = 9;
    add("pal8.index-past-palette", s);
    s.paletteEntries = 256;
    s.clrUsed = 0;
    s.gap = 6;
    add("pal8.gap", s);
    s = Spec{};
    s.bits = 4;
    s.paletteEntries = s.clrUsed = 12;
    s.pixels = Rows(4, false, index);
    add("pal4.index-past-palette", s);

    // Bit fields.
    struct Fields {
        const char* name;
        int bits;
        const uint32_t* masks;
        int header;
    };
    const Fields fields[] = {
        {"bitfields.rgb555", 16, k555, 40},       {"bitfields.rgb444", 16, k444, 40},
        {"bitfields.xrgb8888", 32, k888, 40},     {"bitfields.xbgr8888", 32, kBgr, 40},
        {"bitfields.rgb101010", 32, k101010, 40}, {"bitfields.argb8888.v5", 32, k888a, 124},
        {"bitfields.rgb565.v4", 16, k565, 108}};
    for (const Fields& f : fields) {
        s = Spec{};
        s.header = f.header;
        s.bits = f.bits;
        s.compression = kBitFields;
        std::copy(f.masks, f.masks + 4, s.masks);
        s.pixels = Rows(f.bits, false, direct(f.masks));
        add(f.name, s);
    }
    // 32 bits with alpha: transparent where the key is, half-transparent on one column.
    auto alpha = [](int x, int y) {
        const uint32_t a = Index(x, y) == 15 ? 0 : x == 3 ? 0x80 : 0xFF;
        return Packed(kPalette[Index(x, y)], k888) | a << 24;
    };
    s = Spec{};
    s.bits = 32;
    s.pixels = Rows(32, false, alpha);
    add("rgb32.alpha-byte", s);
    s.header = 124;
    s.compression = kBitFields;
    std::copy(k888a, k888a + 4, s.masks);
    add("alpha.v5", s);

    // Run-length encoding.
    for (int bits : {8, 4}) {
        const std::string n = bits == 8 ? "rle8" : "rle4";
        s = Spec{};
        s.bits = bits;
        s.compression = bits == 8 ? kRle8 : kRle4;
        s.paletteEntries = s.clrUsed = 16;
        s.pixels = RleRows(bits, Rle{});
        add(n.c_str(), s);
        s.pixels = RleRows(bits, Rle{true, 0, 0});
        add((n + ".skips").c_str(), s);
        s.pixels = RleRows(bits, Rle{false, 0, 200});
        add((n + ".run-past-row").c_str(), s);
        s.pixels = RleRows(bits, Rle{false, 9, 0});
        add((n + ".truncated").c_str(), s);
        s.pixels = RleRows(bits, Rle{});
        s.height = -kHeight;
        add((n + ".topdown").c_str(), s);
        s.height = kHeight;
        s.bits = bits == 8 ? 4 : 8;
        add((n + ".wrong-depth").c_str(), s);
    }

    // Malformed files, and two odd ones a loader takes: a palette count over 256 (the first
    // 256 are read) and bit fields with no green or blue.
    s = Spec{};
    s.pixels = Rows(24, false, direct(k888));
    const Spec good = s;
    const struct {
        const char* name;
        void (*spoil)(Spec&);
    } bad[] = {
        {"bad.jpeg", [](Spec& b) { b.compression = kJpeg; }},
        {"bad.png", [](Spec& b) { b.compression = kPng; }},
        {"bad.bitfields24",
         [](Spec& b) {
             b.compression = kBitFields;
             std::copy(k888, k888 + 4, b.masks);
         }},
        {"bad.bits7", [](Spec& b) { b.bits = 7; }},
        {"bad.planes2", [](Spec& b) { b.planes = 2; }},
        {"bad.width0", [](Spec& b) { b.width = 0; }},
        {"bad.height0", [](Spec& b) { b.height = 0; }},
        {"bad.width-negative", [](Spec& b) { b.width = -kWidth; }},
        {"bad.truncated24", [](Spec& b) { b.pixels.resize(b.pixels.size() / 2); }},
        {"bad.header64", [](Spec& b) { b.header = 64; }},
    };
    for (const auto& [name, spoil] : bad) {
        s = good;
        spoil(s);
        add(name, s);
    }
    s = Spec{};
    s.bits = 8;
    s.paletteEntries = 256;
    s.clrUsed = 300;
    s.pixels = Rows(8, false, index);
    add("pal8.clrused300", s);
    s.clrUsed = 0;
    s.pixels.resize(s.pixels.size() - 30);
    add("bad.truncated8", s);
    s = Spec{};
    s.bits = 16;
    s.compression = kBitFields;
    s.masks[0] = 0xF800;  // no green or blue
    s.pixels = Rows(16, false, direct(k565));
    add("bitfields.zero-masks", s);
    return v;
}

}  // namespace bmp_variants
