// GDI on surfaces: device contexts that draw into DirectDraw surfaces, opaque text in a
// built-in bitmap font, and bitmaps (loaded from the executable's embedded resources or
// from files) copied into surfaces through memory device contexts.
#pragma once

#include "platform/win.h"

#if !defined(_WIN32)  // the software platform

#define RGB(r, g, b)                                      \
    (static_cast<COLORREF>(static_cast<BYTE>(r)) |        \
     (static_cast<COLORREF>(static_cast<BYTE>(g)) << 8) | \
     (static_cast<COLORREF>(static_cast<BYTE>(b)) << 16))
#define GetRValue(c) (static_cast<BYTE>((c)&0xFF))
#define GetGValue(c) (static_cast<BYTE>(((c) >> 8) & 0xFF))
#define GetBValue(c) (static_cast<BYTE>(((c) >> 16) & 0xFF))

constexpr COLORREF CLR_INVALID = 0xFFFFFFFFu;

// Raster operations and image loading.
constexpr DWORD SRCCOPY = 0x00CC0020u;
constexpr UINT IMAGE_BITMAP = 0;
constexpr UINT LR_DEFAULTCOLOR = 0x0000;
constexpr UINT LR_LOADFROMFILE = 0x0010;
constexpr UINT LR_DEFAULTSIZE = 0x0040;
constexpr UINT LR_CREATEDIBSECTION = 0x2000;

// Device-independent bitmaps: the headers of a BMP file's bitmap (the old core header and
// the info header; V4 and V5 headers extend the info header) and their pixel encodings.
constexpr DWORD BI_RGB = 0;
constexpr DWORD BI_RLE8 = 1;
constexpr DWORD BI_RLE4 = 2;
constexpr DWORD BI_BITFIELDS = 3;
constexpr DWORD BI_JPEG = 4;
constexpr DWORD BI_PNG = 5;
constexpr UINT DIB_RGB_COLORS = 0;

struct BITMAPCOREHEADER {
    DWORD bcSize;
    WORD bcWidth;
    WORD bcHeight;
    WORD bcPlanes;
    WORD bcBitCount;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // negative: the rows run top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// The header, then its three colour masks (BI_BITFIELDS with a 40-byte header) or palette.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    void* bmBits;
};

COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF SetTextColor(HDC dc, COLORREF color);
BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int length);

HANDLE LoadImageA(HINSTANCE instance, LPCSTR name, UINT type, int cx, int cy, UINT flags);
HDC CreateCompatibleDC(HDC dc);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
int GetObjectA(HGDIOBJ object, int size, void* out);
BOOL StretchBlt(HDC dest, int destX, int destY, int destWidth, int destHeight, HDC src, int srcX,
                int srcY, int srcWidth, int srcHeight, DWORD rop);
// A bitmap whose rows (`*bits`, in the format `info` describes, zeroed) the caller writes;
// uncompressed formats only. `dc`, `section` and `offset` are not used.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);
BOOL DeleteDC(HDC dc);
BOOL DeleteObject(HGDIOBJ object);

namespace platform {
// Size of one cell of the built-in font used by TextOutA.
constexpr int kSystemFontWidth = 8;
constexpr int kSystemFontHeight = 16;
}  // namespace platform

#endif  // _WIN32

namespace platform {
// Why the latest LoadImageA failed, in a few words ("unsupported bitmap depth ..."), or empty
// when it gave no reason. The Windows build's loader gives none: always empty there.
const std::string& LastImageError();
}  // namespace platform
