// The bitmap part of the conformance probe: writes every file of bmp_variants.h, loads each
// with LoadImageA as the library's sprites do, and copies it with StretchBlt from a memory
// DC into a 32-bit surface whose pixels are written out, so that the two platforms'
// loaders are compared pixel for pixel.
#ifdef _WIN32
#define DIRECTDRAW_VERSION 0x0600
#include <windows.h>
#include <ddraw.h>
#else
#include "platform/ddraw.h"
#include "platform/gdi.h"
#endif

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bmp_variants.h"
#include "probe_output.h"

namespace {

using namespace probe;

IDirectDrawSurface4* MakeXrgbSurface(IDirectDraw4* dd4, int width, int height) {
    DDSURFACEDESC2 desc = Desc();
    desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    desc.dwWidth = static_cast<DWORD>(width);
    desc.dwHeight = static_cast<DWORD>(height);
    desc.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    desc.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
    desc.ddpfPixelFormat.dwFlags = DDPF_RGB;
    desc.ddpfPixelFormat.dwRGBBitCount = 32;
    desc.ddpfPixelFormat.dwRBitMask = 0x00FF0000;
    desc.ddpfPixelFormat.dwGBitMask = 0x0000FF00;
    desc.ddpfPixelFormat.dwBBitMask = 0x000000FF;
    IDirectDrawSurface4* surface = nullptr;
    const HRESULT hr = dd4->CreateSurface(&desc, &surface, nullptr);
    if (hr != DD_OK)
        fprintf(out, "error.bitmap.CreateSurface: 0x%08lx\n",
                static_cast<unsigned long>(static_cast<uint32_t>(hr)));
    return surface;
}

// The bitmap's pixels as StretchBlt copies them from a memory DC into a 32-bit surface filled
// with a marker colour, one line a row; the bitmap is deleted.
void Copy(IDirectDraw4* dd4, const std::string& name, HBITMAP bitmap) {
    BITMAP info;
    memset(&info, 0, sizeof info);
    GetObjectA(static_cast<HGDIOBJ>(bitmap), sizeof info, &info);
    fprintf(out, "%s: %ld x %ld\n", name.c_str(), static_cast<long>(info.bmWidth),
            static_cast<long>(info.bmHeight));
    const int width = static_cast<int>(info.bmWidth);
    const int height = static_cast<int>(info.bmHeight < 0 ? -info.bmHeight : info.bmHeight);
    IDirectDrawSurface4* surface =
        width > 0 && height > 0 ? MakeXrgbSurface(dd4, width, height) : nullptr;
    if (!surface) {
        DeleteObject(static_cast<HGDIOBJ>(bitmap));
        return;
    }
    DDBLTFX fx;
    memset(&fx, 0, sizeof fx);
    fx.dwSize = sizeof fx;
    fx.dwFillColor = 0x00123456;
    surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fx);
    HDC memory = CreateCompatibleDC(nullptr);
    SelectObject(memory, static_cast<HGDIOBJ>(bitmap));
    HDC dc = nullptr;
    BOOL copied = FALSE;
    if (surface->GetDC(&dc) == DD_OK) {
        copied = StretchBlt(dc, 0, 0, width, height, memory, 0, 0, width, height, SRCCOPY);
        surface->ReleaseDC(dc);
    }
    DeleteDC(memory);
    DeleteObject(static_cast<HGDIOBJ>(bitmap));
    fprintf(out, "%s.StretchBlt: %d\n", name.c_str(), copied ? 1 : 0);
    DDSURFACEDESC2 desc = Desc();
    if (surface->Lock(nullptr, &desc, 0, nullptr) == DD_OK) {
        for (int y = 0; y < height; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(
                static_cast<const uint8_t*>(desc.lpSurface) + y * desc.lPitch);
            fprintf(out, "%s.row%02d:", name.c_str(), y);
            for (int x = 0; x < width; ++x)
                fprintf(out, " %06lx", static_cast<unsigned long>(row[x] & 0xFFFFFF));
            fputc('\n', out);
        }
        surface->Unlock(nullptr);
    }
    surface->Release();
}

// A variant written to a file and loaded with LoadImageA as the library's sprites load bitmap
// files; a top-down one also as the sprites read those: a DIB section made from the file's
// header, its rows copied in.
void ProbeVariant(IDirectDraw4* dd4, const std::string& dir, const bmp_variants::Variant& v) {
    const std::string name = "bitmap." + v.name;
    const std::string path = dir + "bmp-" + v.name + ".bmp";
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(v.bytes.data(), 1, v.bytes.size(), f) != v.bytes.size()) {
        fprintf(out, "error.%s: cannot write %s\n", name.c_str(), path.c_str());
        if (f)
            fclose(f);
        return;
    }
    fclose(f);
    HANDLE bitmap = LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0,
                               LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE);
    if (bitmap)
        Copy(dd4, name, static_cast<HBITMAP>(bitmap));
    else
        fprintf(out, "%s: refused\n", name.c_str());

    if (v.name.find(".topdown") == std::string::npos || v.name.compare(0, 3, "rle") == 0 ||
        v.bytes.size() < 54 || v.bytes[14] == 12)
        return;
    uint32_t offset = 0;
    memcpy(&offset, &v.bytes[10], 4);
    std::vector<uint32_t> info((offset - 14 + 3) / 4);
    memcpy(info.data(), &v.bytes[14], offset - 14);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                   DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!dib || !bits) {
        fprintf(out, "%s.dib: refused\n", name.c_str());
        return;
    }
    memcpy(bits, &v.bytes[offset], v.bytes.size() - offset);
    Copy(dd4, name + ".dib", dib);
}

}  // namespace

// Writes the variants into `dir` (ending in a path separator, or empty) and their lines to
// `file`.
void ProbeBitmaps(IDirectDraw4* dd4, FILE* file, const std::string& dir) {
    out = file;
    for (const bmp_variants::Variant& v : bmp_variants::All())
        ProbeVariant(dd4, dir, v);
}
