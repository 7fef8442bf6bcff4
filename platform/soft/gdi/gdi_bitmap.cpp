// GDI bitmaps: LoadImageA from the embedded resources or from BMP files, memory device
// contexts, GetObjectA, and StretchBlt from a memory DC into a surface's DC with conversion
// to the surface's pixel format.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "platform/base.h"
#include "platform/soft/gdi/gdi_internal.h"

namespace platform {
namespace {

// Handles this module made and not yet deleted; anything else given to DeleteObject,
// DeleteDC, SelectObject or GetObjectA is not ours and is refused.
std::unordered_set<Bitmap*>& LiveBitmaps() {
    static std::unordered_set<Bitmap*> set;
    return set;
}
std::unordered_set<DeviceContext*>& LiveMemoryDcs() {
    static std::unordered_set<DeviceContext*> set;
    return set;
}
std::string& ImageError() {
    static std::string text;
    return text;
}

// Largest bitmap accepted (pixels), and largest bitmap file read.
constexpr uint64_t kMaxPixels = uint64_t{1} << 26;
constexpr long kMaxFileBytes = 256L << 20;

uint16_t ReadU16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t ReadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

bool Fail(std::string* why, const char* text) {
    if (why)
        *why = text;
    return false;
}

Bitmap* Register(Bitmap* b) {
    LiveBitmaps().insert(b);
    return b;
}

Bitmap* LiveBitmap(HGDIOBJ h) {
    Bitmap* b = BitmapFromHandle(h);
    return LiveBitmaps().count(b) ? b : nullptr;
}

DeviceContext* LiveMemoryDc(HDC h) {
    DeviceContext* dc = FromHandle(h);
    return LiveMemoryDcs().count(dc) ? dc : nullptr;
}

void StorePixel(uint8_t* row, int x, int bytesPerPixel, uint32_t value) {
    switch (bytesPerPixel) {
        case 1:
            row[x] = static_cast<uint8_t>(value);
            break;
        case 2: {
            uint16_t v = static_cast<uint16_t>(value);
            std::memcpy(row + x * 2, &v, 2);
            break;
        }
        default:
            std::memcpy(row + x * 4, &value, 4);
            break;
    }
}

}  // namespace

uint32_t BitmapColourToPixel(PixelKind kind, uint32_t xrgb) {
    const uint8_t r = static_cast<uint8_t>(xrgb >> 16);
    const uint8_t g = static_cast<uint8_t>(xrgb >> 8);
    const uint8_t b = static_cast<uint8_t>(xrgb);
    if (kind == PixelKind::Pal8) {
        if (r == 255 && g == 0 && b == 255)
            return 255;
        // Keep 255 for the transparent colour alone.
        return std::min<uint32_t>(PackRGB(kind, r, g, b), 254);
    }
    return PackRGB(kind, r, g, b);
}

namespace {

// A bitmap's layout as its header describes it: size, row order, depth, encoding, the colour
// masks of the 16- and 32-bit encodings and the palette of the 1-, 4- and 8-bit ones.
struct DibLayout {
    int32_t width = 0;
    int32_t height = 0;
    bool topDown = false;
    int bits = 0;
    uint32_t compression = BI_RGB;
    uint32_t masks[3] = {};
    int shifts[3] = {};  // each mask's lowest bit and number of bits
    int widths[3] = {};
    uint32_t palette[256] = {};
    uint32_t paletteSize = 0;
    size_t tableEnd = 0;  // bytes from the header's start to the end of its masks and palette
};

// Reads the header at `info`, of which `avail` bytes may be read, and the masks and palette
// after it.
bool ParseDibHeader(const uint8_t* info, size_t avail, DibLayout* d, std::string* why) {
    if (avail < 4)
        return Fail(why, "bitmap file too short for its headers");
    const uint32_t headerSize = ReadU32(info);
    if (headerSize != 12 && headerSize != 40 && headerSize != 52 && headerSize != 56 &&
        headerSize != 108 && headerSize != 124)
        return Fail(why, "unsupported bitmap header size");
    if (headerSize > avail)
        return Fail(why, "bitmap header runs past the end of the file");
    int32_t rawHeight = 0;
    unsigned planes = 0;
    uint32_t coloursUsed = 0;
    size_t entrySize = 4;
    if (headerSize == 12) {  // the core header: unsigned 16-bit sizes, palette of triples
        d->width = ReadU16(info + 4);
        rawHeight = ReadU16(info + 6);
        planes = ReadU16(info + 8);
        d->bits = ReadU16(info + 10);
        entrySize = 3;
        if (d->bits != 1 && d->bits != 4 && d->bits != 8 && d->bits != 24)
            return Fail(why, "unsupported bitmap depth (1, 4, 8 or 24 bits in a core header)");
    } else {
        d->width = static_cast<int32_t>(ReadU32(info + 4));
        rawHeight = static_cast<int32_t>(ReadU32(info + 8));
        planes = ReadU16(info + 12);
        d->bits = ReadU16(info + 14);
        d->compression = ReadU32(info + 16);
        coloursUsed = ReadU32(info + 32);
    }
    if (planes != 1)
        return Fail(why, "bitmap has more than one plane");
    if (d->width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        return Fail(why, "bitmap has no pixels (width or height is zero or negative)");
    d->topDown = rawHeight < 0;
    d->height = d->topDown ? -rawHeight : rawHeight;
    if (static_cast<uint64_t>(d->width) * static_cast<uint64_t>(d->height) > kMaxPixels)
        return Fail(why, "bitmap is too large");
    if (d->bits != 1 && d->bits != 4 && d->bits != 8 && d->bits != 16 && d->bits != 24 &&
        d->bits != 32)
        return Fail(why, "unsupported bitmap depth (1, 4, 8, 16, 24 or 32 bits per pixel)");

    size_t table = headerSize;
    switch (d->compression) {
        case BI_RGB:
            if (d->bits == 16) {
                const uint32_t m[3] = {0x7C00, 0x03E0, 0x001F};
                std::copy(m, m + 3, d->masks);
            } else {
                const uint32_t m[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
                std::copy(m, m + 3, d->masks);
            }
            break;
        case BI_RLE8:
        case BI_RLE4:
            if (d->bits != (d->compression == BI_RLE8 ? 8 : 4))
                return Fail(why, "run-length encoding does not match the bitmap depth");
            if (d->topDown)
                return Fail(why, "run-length encoded bitmaps cannot be top-down");
            break;
        case BI_BITFIELDS: {
            if (d->bits != 16 && d->bits != 32)
                return Fail(why, "bit-field masks need 16 or 32 bits per pixel");
            // In a 40-byte header the masks follow it; larger headers hold them.
            const size_t at = headerSize == 40 ? headerSize : 40;
            if (headerSize == 40)
                table += 12;
            if (at + 12 > avail)
                return Fail(why, "bitmap colour masks run past the end of the file");
            for (int i = 0; i < 3; ++i)
                d->masks[i] = ReadU32(info + at + 4 * i);
            break;
        }
        case BI_JPEG:
        case BI_PNG:
            return Fail(why, "JPEG and PNG compressed bitmaps are not supported");
        default:
            return Fail(why, "unknown bitmap compression");
    }

    // The palette: as many entries as the header says are used (at most 256), else a full
    // one for the depth. Deeper bitmaps may carry one too; it is passed over.
    uint64_t entries = std::min<uint32_t>(coloursUsed, 256);
    if (entries == 0 && d->bits <= 8)
        entries = uint64_t{1} << d->bits;
    if (table + entries * entrySize > avail)
        return Fail(why, "bitmap palette runs past the end of the file");
    for (int i = 0; i < 3; ++i) {
        const uint32_t m = d->masks[i];
        while (m && !((m >> d->shifts[i]) & 1))
            ++d->shifts[i];
        while (m && d->shifts[i] + d->widths[i] < 32 && ((m >> (d->shifts[i] + d->widths[i])) & 1))
            ++d->widths[i];
    }
    if (d->bits <= 8) {
        d->paletteSize = static_cast<uint32_t>(std::min<uint64_t>(entries, 1u << d->bits));
        for (uint32_t i = 0; i < d->paletteSize; ++i) {
            const uint8_t* q = info + table + entrySize * i;
            d->palette[i] =
                (static_cast<uint32_t>(q[2]) << 16) | (static_cast<uint32_t>(q[1]) << 8) | q[0];
        }
    }
    d->tableEnd = table + entries * entrySize;
    return true;
}

// One colour channel of a packed pixel as 8 bits: the mask's top 8 bits, or its bits widened
// by repeating them below.
uint32_t Channel(uint32_t pixel, uint32_t mask, int shift, int width) {
    if (!mask)
        return 0;
    uint32_t v = (pixel & mask) >> shift;
    if (width >= 8)
        return (v >> (width - 8)) & 0xFF;
    v <<= 8 - width;
    return (v | v >> width) & 0xFF;
}

uint32_t PaletteColour(const DibLayout& d, uint32_t index) {
    return index < d.paletteSize ? d.palette[index] : 0;  // past the palette: black
}

bool DecodeRows(const DibLayout& d, const uint8_t* bits, size_t size, Bitmap* out,
                std::string* why) {
    const uint64_t stride = ((static_cast<uint64_t>(d.width) * d.bits + 31) / 32) * 4;
    if (stride * static_cast<uint64_t>(d.height) > size)
        return Fail(why, "bitmap pixels run past the end of the file");
    for (int32_t y = 0; y < d.height; ++y) {
        const int32_t fileRow = d.topDown ? y : d.height - 1 - y;
        const uint8_t* src = bits + stride * static_cast<uint64_t>(fileRow);
        uint32_t* dst = out->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(d.width);
        for (int32_t x = 0; x < d.width; ++x) {
            switch (d.bits) {
                case 1:
                    dst[x] = PaletteColour(d, (src[x >> 3] >> (7 - (x & 7))) & 1);
                    break;
                case 4:
                    dst[x] = PaletteColour(d, (src[x >> 1] >> (x & 1 ? 0 : 4)) & 0xF);
                    break;
                case 8:
                    dst[x] = PaletteColour(d, src[x]);
                    break;
                case 24: {
                    const uint8_t* p = src + 3 * x;
                    dst[x] = (static_cast<uint32_t>(p[2]) << 16) |
                             (static_cast<uint32_t>(p[1]) << 8) | p[0];
                    break;
                }
                default: {
                    const uint32_t v = d.bits == 16 ? ReadU16(src + 2 * x) : ReadU32(src + 4 * x);
                    dst[x] = Channel(v, d.masks[0], d.shifts[0], d.widths[0]) << 16 |
                             Channel(v, d.masks[1], d.shifts[1], d.widths[1]) << 8 |
                             Channel(v, d.masks[2], d.shifts[2], d.widths[2]);
                    break;
                }
            }
        }
    }
    return true;
}

// Run-length data: runs of one index (RLE4: two alternating), literal runs, and escapes for
// the end of a line, the end of the bitmap and a jump right and up. Runs stop at the row's
// end; pixels never written keep the palette's first colour. Data that ends before the
// bitmap's end mark and before its last row is refused.
bool DecodeRle(const DibLayout& d, const uint8_t* bits, size_t size, Bitmap* out,
               std::string* why) {
    std::fill(out->pixels.begin(), out->pixels.end(), PaletteColour(d, 0));
    const bool four = d.bits == 4;
    int64_t x = 0, row = 0;  // row counts from the bottom
    auto put = [&](uint32_t index) {
        if (x < d.width && row < d.height)
            out->pixels[static_cast<size_t>(d.height - 1 - row) * static_cast<size_t>(d.width) +
                        static_cast<size_t>(x)] = PaletteColour(d, index);
        x = std::min<int64_t>(x + 1, d.width);
    };
    size_t pos = 0;
    while (row < d.height) {
        if (size - pos < 2)
            return Fail(why, "run-length data ends before the bitmap does");
        const uint8_t count = bits[pos], value = bits[pos + 1];
        pos += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(four ? (i & 1 ? value & 0xF : value >> 4) : value);
        } else if (value == 0) {
            x = 0;
            ++row;
        } else if (value == 1) {
            return true;
        } else if (value == 2) {
            if (size - pos < 2)
                return Fail(why, "run-length data ends before the bitmap does");
            x = std::min<int64_t>(x + bits[pos], d.width);
            row += bits[pos + 1];
            pos += 2;
        } else {
            const size_t bytes = four ? (value + 1u) / 2 : value;
            if (size - pos < bytes)
                return Fail(why, "run-length data ends before the bitmap does");
            for (int i = 0; i < value; ++i)
                put(four ? (i & 1 ? bits[pos + i / 2] & 0xF : bits[pos + i / 2] >> 4)
                         : bits[pos + i]);
            pos += std::min(size - pos, bytes + (bytes & 1));  // literal runs end on a word
        }
    }
    return true;
}

bool DecodePixels(const DibLayout& d, const uint8_t* bits, size_t size, Bitmap* out,
                  std::string* why) {
    out->width = d.width;
    out->height = d.height;
    out->pixels.assign(static_cast<size_t>(d.width) * static_cast<size_t>(d.height), 0);
    if (d.compression == BI_RLE8 || d.compression == BI_RLE4)
        return DecodeRle(d, bits, size, out, why);
    return DecodeRows(d, bits, size, out, why);
}

// The largest header with its masks and palette.
constexpr size_t kMaxDibTable = 124 + 12 + 256 * 4;

// A DIB section's pixels, decoded again from its rows (the caller may have written them).
void RefreshDibSection(Bitmap* b) {
    DibLayout d;
    if (!b->dibInfo.empty() && ParseDibHeader(b->dibInfo.data(), b->dibInfo.size(), &d, nullptr))
        DecodePixels(d, b->dibBits.data(), b->dibBits.size(), b, nullptr);
}

}  // namespace

bool DecodeBmp(const uint8_t* data, size_t size, Bitmap* out, std::string* why) {
    constexpr size_t kFileHeader = 14;
    if (!data || size < kFileHeader + 12)
        return Fail(why, "bitmap file too short for its headers");
    if (data[0] != 'B' || data[1] != 'M')
        return Fail(why, "not a bitmap file (no BM signature)");
    DibLayout d;
    if (!ParseDibHeader(data + kFileHeader, size - kFileHeader, &d, why))
        return false;
    // The pixels start where the file header says, or else right after the palette.
    const uint32_t offset = ReadU32(data + 10);
    const uint64_t start = offset ? offset : kFileHeader + d.tableEnd;
    if (start < kFileHeader + 12 || start > size)
        return Fail(why, "bitmap pixels run past the end of the file");
    return DecodePixels(d, data + start, size - start, out, why);
}

HBITMAP CreateBitmapFromBmp(const uint8_t* data, size_t size) {
    Bitmap* b = new Bitmap;
    std::string why;
    if (!DecodeBmp(data, size, b, &why)) {
        delete b;
        ImageError() = why;
        return nullptr;
    }
    ImageError().clear();
    return ToHandle(Register(b));
}

const std::string& LastImageError() {
    return ImageError();
}

}  // namespace platform

using namespace platform;

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags) {
    const uintptr_t nameValue = reinterpret_cast<uintptr_t>(name);
    char number[16] = "";
    if (nameValue <= 0xFFFF)
        std::snprintf(number, sizeof number, "#%u", static_cast<unsigned>(nameValue));
    if (PLATFORM_HOOK("LoadImageA", "name=%s flags=0x%04x", nameValue <= 0xFFFF ? number : name,
                      flags) != 0) {
        ImageError() = "LoadImageA failed";
        return nullptr;
    }
    if (type != IMAGE_BITMAP || !name) {
        ImageError() = "only bitmaps can be loaded";
        return nullptr;
    }
    if (!(flags & LR_LOADFROMFILE)) {
        if (nameValue > 0xFFFF) {
            ImageError() = "bitmap resources are found by number only";
            return nullptr;
        }
        const uint8_t* bytes = nullptr;
        size_t size = 0;
        if (!FindEmbeddedBitmap(static_cast<uint16_t>(nameValue), &bytes, &size)) {
            ImageError() = "no bitmap resource " + std::to_string(nameValue);
            return nullptr;
        }
        return CreateBitmapFromBmp(bytes, size);
    }
    if (nameValue <= 0xFFFF) {
        ImageError() = "a bitmap file needs a path";
        return nullptr;
    }
    FILE* f = std::fopen(name, "rb");
    if (!f) {
        ImageError() = std::string("cannot open bitmap file ") + name;
        return nullptr;
    }
    std::vector<uint8_t> bytes;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long length = ok ? std::ftell(f) : -1;
    ok = ok && length >= 0 && length <= kMaxFileBytes && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(length));
        ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
    }
    std::fclose(f);
    if (!ok) {
        ImageError() = std::string("cannot read bitmap file ") + name;
        return nullptr;
    }
    return CreateBitmapFromBmp(bytes.data(), bytes.size());
}

HDC CreateCompatibleDC(HDC) {
    if (PLATFORM_HOOK("CreateCompatibleDC", "%s", "") != 0)
        return nullptr;
    DeviceContext* dc = new DeviceContext;
    dc->kind = DcKind::Memory;
    LiveMemoryDcs().insert(dc);
    return ToHandle(dc);
}

HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) {
    DeviceContext* memory = LiveMemoryDc(dc);
    Bitmap* bitmap = LiveBitmap(object);
    if (!memory || !bitmap)
        return nullptr;
    Bitmap* previous = memory->selected;
    memory->selected = bitmap;
    return previous ? ToHandle(previous) : nullptr;
}

int GetObjectA(HGDIOBJ object, int size, void* out) {
    Bitmap* b = LiveBitmap(object);
    if (!b)
        return 0;
    if (!out)
        return static_cast<int>(sizeof(BITMAP));
    if (size <= 0)
        return 0;
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = b->width;
    info.bmHeight = b->height;
    info.bmPlanes = 1;
    if (b->dibDepth) {  // a DIB section: its own rows
        info.bmWidthBytes = static_cast<LONG>(b->dibBits.size() / static_cast<size_t>(b->height));
        info.bmBitsPixel = static_cast<WORD>(b->dibDepth);
        info.bmBits = b->dibBits.data();
    } else {
        info.bmWidthBytes = b->width * 4;
        info.bmBitsPixel = 32;
        info.bmBits = b->pixels.data();
    }
    const size_t n = std::min(static_cast<size_t>(size), sizeof(BITMAP));
    std::memcpy(out, &info, n);
    return static_cast<int>(n);
}

BOOL StretchBlt(HDC dest, int destX, int destY, int destWidth, int destHeight, HDC src, int srcX,
                int srcY, int srcWidth, int srcHeight, DWORD rop) {
    if (PLATFORM_HOOK("StretchBlt", "dest=%d,%d %dx%d src=%d,%d %dx%d", destX, destY, destWidth,
                      destHeight, srcX, srcY, srcWidth, srcHeight) != 0)
        return FALSE;
    DeviceContext* from = LiveMemoryDc(src);
    DeviceContext* to = FromHandle(dest);
    if (!from || !from->selected || !to || rop != SRCCOPY)
        return FALSE;
    if (destWidth <= 0 || destHeight <= 0 || srcWidth <= 0 || srcHeight <= 0)
        return FALSE;

    // The destination: a surface's pixels, or another memory DC's bitmap.
    PixelBuffer target{};
    if (to->kind == DcKind::Surface) {
        target = to->target;
    } else {
        if (!LiveMemoryDc(dest) || !to->selected)
            return FALSE;
        Bitmap* b = to->selected;
        target =
            PixelBuffer{b->pixels.data(), b->width * 4, b->width, b->height, PixelKind::XRGB8888};
    }
    if (!target.pixels || target.width <= 0 || target.height <= 0)
        return FALSE;

    Bitmap& bitmap = *from->selected;
    if (bitmap.dibDepth)
        RefreshDibSection(&bitmap);
    const int bpp = BytesPerPixel(target.kind);
    const bool sameSize = destWidth == srcWidth && destHeight == srcHeight;
    // Destination rows and columns that land on the target.
    const int x0 = std::max(0, -destX), x1 = std::min(destWidth, target.width - destX);
    const int y0 = std::max(0, -destY), y1 = std::min(destHeight, target.height - destY);
    for (int y = y0; y < y1; ++y) {
        const int64_t sy = srcY + (sameSize ? y : static_cast<int64_t>(y) * srcHeight / destHeight);
        if (sy < 0 || sy >= bitmap.height)
            continue;
        const uint32_t* srcRow = bitmap.pixels.data() + sy * bitmap.width;
        uint8_t* dstRow =
            static_cast<uint8_t*>(target.pixels) + static_cast<ptrdiff_t>(destY + y) * target.pitch;
        for (int x = x0; x < x1; ++x) {
            const int64_t sx =
                srcX + (sameSize ? x : static_cast<int64_t>(x) * srcWidth / destWidth);
            if (sx < 0 || sx >= bitmap.width)
                continue;
            StorePixel(dstRow, destX + x, bpp, BitmapColourToPixel(target.kind, srcRow[sx]));
        }
    }
    return TRUE;
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE, DWORD) {
    if (bits)
        *bits = nullptr;
    if (PLATFORM_HOOK("CreateDIBSection", "%s", "") != 0 || !info || usage != DIB_RGB_COLORS)
        return nullptr;
    // The header says how long it and its table are; only that much of it is read.
    const auto* bytes = reinterpret_cast<const uint8_t*>(info);
    DibLayout d;
    if (!ParseDibHeader(bytes, kMaxDibTable, &d, nullptr) || d.compression == BI_RLE8 ||
        d.compression == BI_RLE4)
        return nullptr;
    Bitmap* b = new Bitmap;
    b->dibInfo.assign(bytes, bytes + d.tableEnd);
    b->dibBits.assign(
        ((static_cast<size_t>(d.width) * d.bits + 31) / 32) * 4 * static_cast<size_t>(d.height), 0);
    b->dibDepth = d.bits;
    DecodePixels(d, b->dibBits.data(), b->dibBits.size(), b, nullptr);
    if (bits)
        *bits = b->dibBits.data();
    return ToHandle(Register(b));
}

// The two deletions are recorded for tests of release orders, never made to fail: a failed
// deletion would only leak.
BOOL DeleteDC(HDC dc) {
    PLATFORM_TRACE("DeleteDC", "dc=%p", static_cast<void*>(dc));
    DeviceContext* memory = LiveMemoryDc(dc);
    if (!memory)
        return FALSE;
    LiveMemoryDcs().erase(memory);
    delete memory;
    return TRUE;
}

BOOL DeleteObject(HGDIOBJ object) {
    PLATFORM_TRACE("DeleteObject", "object=%p", static_cast<void*>(object));
    Bitmap* b = LiveBitmap(object);
    if (!b)
        return FALSE;
    // A DC still holding the bitmap no longer has one to copy from.
    for (DeviceContext* dc : LiveMemoryDcs())
        if (dc->selected == b)
            dc->selected = nullptr;
    LiveBitmaps().erase(b);
    delete b;
    return TRUE;
}
