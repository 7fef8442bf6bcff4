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

bool DecodeBmp(const uint8_t* data, size_t size, Bitmap* out, std::string* why) {
    constexpr size_t kFileHeader = 14;
    if (!data || size < kFileHeader + 40)
        return Fail(why, "bitmap file too short for its headers");
    if (data[0] != 'B' || data[1] != 'M')
        return Fail(why, "not a bitmap file (no BM signature)");
    const uint32_t pixelOffset = ReadU32(data + 10);
    const uint32_t infoSize = ReadU32(data + 14);
    if (infoSize < 40)
        return Fail(why, "unsupported bitmap header (older than the 40-byte header)");
    if (infoSize > size - kFileHeader)
        return Fail(why, "bitmap header runs past the end of the file");
    const int32_t width = static_cast<int32_t>(ReadU32(data + 18));
    const int32_t rawHeight = static_cast<int32_t>(ReadU32(data + 22));
    const uint16_t planes = ReadU16(data + 26);
    const uint16_t bitCount = ReadU16(data + 28);
    const uint32_t compression = ReadU32(data + 30);
    const uint32_t coloursUsed = ReadU32(data + 46);

    if (planes != 1)
        return Fail(why, "bitmap has more than one plane");
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN)
        return Fail(why, "bitmap has no pixels (width or height is zero or negative)");
    const bool topDown = rawHeight < 0;
    const int32_t height = topDown ? -rawHeight : rawHeight;
    if (static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels)
        return Fail(why, "bitmap is too large");

    constexpr uint32_t kRgb = 0, kBitFields = 3;
    if (bitCount != 8 && bitCount != 24 && bitCount != 32)
        return Fail(why, "unsupported bitmap depth (only 8, 24 and 32 bits per pixel are read)");
    if (compression == kBitFields && bitCount == 32) {
        if (size < kFileHeader + 40 + 12)
            return Fail(why, "bitmap colour masks run past the end of the file");
        const uint8_t* masks = data + kFileHeader + 40;
        if (ReadU32(masks) != 0x00FF0000u || ReadU32(masks + 4) != 0x0000FF00u ||
            ReadU32(masks + 8) != 0x000000FFu)
            return Fail(why, "unsupported bitmap colour masks");
    } else if (compression != kRgb) {
        return Fail(why, "compressed bitmaps are not supported");
    }

    // The palette of an 8-bit bitmap follows the header.
    uint32_t palette[256] = {};
    if (bitCount == 8) {
        const uint32_t entries = coloursUsed ? coloursUsed : 256;
        if (entries > 256)
            return Fail(why, "bitmap palette has more than 256 colours");
        const uint64_t paletteStart = kFileHeader + static_cast<uint64_t>(infoSize);
        if (paletteStart + uint64_t{4} * entries > size)
            return Fail(why, "bitmap palette runs past the end of the file");
        for (uint32_t i = 0; i < entries; ++i) {
            const uint8_t* q = data + paletteStart + 4 * i;
            palette[i] =
                (static_cast<uint32_t>(q[2]) << 16) | (static_cast<uint32_t>(q[1]) << 8) | q[0];
        }
    }

    const uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    if (pixelOffset < kFileHeader + 40 || pixelOffset > size ||
        stride * static_cast<uint64_t>(height) > size - pixelOffset)
        return Fail(why, "bitmap pixels run past the end of the file");

    out->width = width;
    out->height = height;
    out->pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (int32_t y = 0; y < height; ++y) {
        const int32_t fileRow = topDown ? y : height - 1 - y;
        const uint8_t* src = data + pixelOffset + stride * static_cast<uint64_t>(fileRow);
        uint32_t* dst = out->pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        switch (bitCount) {
            case 8:
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = palette[src[x]];
                break;
            case 24:
                for (int32_t x = 0; x < width; ++x) {
                    const uint8_t* p = src + 3 * x;
                    dst[x] = (static_cast<uint32_t>(p[2]) << 16) |
                             (static_cast<uint32_t>(p[1]) << 8) | p[0];
                }
                break;
            default:
                for (int32_t x = 0; x < width; ++x)
                    dst[x] = ReadU32(src + 4 * x) & 0x00FFFFFFu;
                break;
        }
    }
    return true;
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
    info.bmWidthBytes = b->width * 4;
    info.bmPlanes = 1;
    info.bmBitsPixel = 32;
    info.bmBits = b->pixels.data();
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

    const Bitmap& bitmap = *from->selected;
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
