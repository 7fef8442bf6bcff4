// Sprite construction, frame loading and destruction.
#include "sprite/sprite.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "directx/load_error.h"
#include "platform/gdi.h"

namespace {

// Shows a loading error: the primary surface goes back to GDI so the box is visible, the
// message names this module and the line; `messageIsText` picks which of the two strings
// is the box text and which the caption.
void ShowSpriteError(const char* format, int line, bool messageIsText) {
    if (DisplayContext.directDraw4)
        DisplayContext.directDraw4->FlipToGDISurface();
    wsprintfA(scratchText, format, kSpriteSource, line);
    if (messageIsText)
        MessageBoxA(nullptr, scratchText, "ERROR", MB_OK);
    else
        MessageBoxA(nullptr, "ERROR", scratchText, MB_OK);
}

// With quiet load errors on, records why `sprite` failed to load ("<its file>: <reason>")
// and returns true: the caller then shows and reports nothing. Returns false otherwise.
bool QuietFailure(const Sprite& sprite, const char* format, ...)
    __attribute__((format(printf, 2, 3)));
bool QuietFailure(const Sprite& sprite, const char* format, ...) {
    if (!quietLoadErrors)
        return false;
    char reason[256];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    char resource[32];
    snprintf(resource, sizeof resource, "bitmap resource %u", sprite.resourceId);
    const char* name = sprite.source == SourceFile       ? sprite.FilePath()
                       : sprite.source == SourceResource ? resource
                                                         : "sprite";
    SetLoadError(name, "%s", reason);
    return true;
}

// A surface for the image that could not be made: reported, or told quietly.
void SurfaceFailure(const Sprite& sprite, HRESULT failure) {
    if (QuietFailure(sprite, "no surface for a %d x %d image (%s)", sprite.width, sprite.height,
                     failure != DD_OK ? DirectDrawErrorName(failure) : "no display"))
        return;
    if (failure != DD_OK)
        ReportSpriteSurfaceError(failure);
}

// A DirectDraw call on the image's surface that failed: reported, or told quietly.
void CopyFailure(const Sprite& sprite, HRESULT hr, int line) {
    if (!QuietFailure(sprite, "the image could not be copied to its surface (%s)",
                      DirectDrawErrorName(hr)))
        ReportDirectDrawError(hr, kSpriteSource, line);
}

constexpr const char* kErrorFormat = "Error: %s:%d";
constexpr const char* kLoadErrorFormat = "Error loading image %s:%d";

// The memory DC and bitmap of one load, released on every way out. A load that fails
// releases them before it reports, so no box waits on the user while they are held.
struct LoadedBitmap {
    HANDLE bitmap = nullptr;
    HDC dc = nullptr;
    void Release() {
        if (dc)
            DeleteDC(dc);
        if (bitmap)
            DeleteObject(static_cast<HGDIOBJ>(bitmap));
        dc = nullptr;
        bitmap = nullptr;
    }
    ~LoadedBitmap() { Release(); }
};

// The largest bitmap file read whole by LoadTopDownBitmap.
constexpr long kMaxBitmapFile = 256L << 20;

uint32_t ReadLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A top-down bitmap file (negative height) copied into a DIB section made from the file's own
// header, masks and palette. The real platform's LoadImageA leaves the pixels of such a file
// blank (measured under Wine: black, or the palette's first colour), so the sprite drew as a
// box or not at all. Null for any other file and for one that cannot be read whole:
// LoadImageA takes those, and says what is wrong with them.
HBITMAP LoadTopDownBitmap(const char* path) {
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return nullptr;
    uint8_t head[14 + 40];
    bool ok = std::fread(head, 1, sizeof head, f) == sizeof head && head[0] == 'B' &&
              head[1] == 'M' && ReadLe32(head + 14) >= 40 &&
              static_cast<int32_t>(ReadLe32(head + 22)) < 0 &&
              (ReadLe32(head + 30) == BI_RGB || ReadLe32(head + 30) == BI_BITFIELDS);
    long length = -1;
    if (ok && std::fseek(f, 0, SEEK_END) == 0)
        length = std::ftell(f);
    ok = ok && length > 0 && length <= kMaxBitmapFile && std::fseek(f, 0, SEEK_SET) == 0;
    std::vector<uint8_t> file;
    if (ok) {
        file.resize(static_cast<size_t>(length));
        ok = std::fread(file.data(), 1, file.size(), f) == file.size();
    }
    std::fclose(f);
    if (!ok)
        return nullptr;
    const int32_t width = static_cast<int32_t>(ReadLe32(head + 18));
    const int64_t rows = -static_cast<int64_t>(static_cast<int32_t>(ReadLe32(head + 22)));
    const uint32_t bitCount = static_cast<uint32_t>(head[28] | (head[29] << 8));
    const uint64_t offset = ReadLe32(head + 10);
    if (width <= 0 || bitCount > 32 || rows > kMaxBitmapFile ||
        offset < 14 + uint64_t{ReadLe32(head + 14)})
        return nullptr;
    const uint64_t stride = ((static_cast<uint64_t>(width) * bitCount + 31) / 32) * 4;
    const uint64_t bytes = stride * static_cast<uint64_t>(rows);
    if (offset > file.size() || bytes > file.size() - offset)
        return nullptr;
    // The header with its masks and palette, aligned as a BITMAPINFO, and room for the
    // longest of those (V5 header, masks, 256 colours) where the file's rows start sooner.
    constexpr uint64_t kLongestInfo = 124 + 12 + 256 * 4;
    std::vector<uint32_t> info((std::max(offset - 14, kLongestInfo) + 3) / 4);
    std::memcpy(info.data(), file.data() + 14, offset - 14);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(info.data()),
                                      DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && !bits) {
        DeleteObject(static_cast<HGDIOBJ>(bitmap));
        return nullptr;
    }
    if (bitmap)
        std::memcpy(bits, file.data() + offset, bytes);
    return bitmap;
}

// Loads a sprite's bitmap (its file, or its resource with `resourceFlags`) into a memory DC
// and reads its size. A bitmap that cannot be loaded shows the error box of `errorLine`; a
// memory DC that cannot be made fails without a message.
bool OpenBitmap(const Sprite& sprite, UINT resourceFlags, const char* errorFormat, int errorLine,
                LoadedBitmap& loaded, BITMAP& info) {
    if (sprite.source == SourceFile) {
        loaded.bitmap = LoadTopDownBitmap(sprite.FilePath());
        if (!loaded.bitmap)
            loaded.bitmap = LoadImageA(nullptr, sprite.FilePath(), IMAGE_BITMAP, 0, 0,
                                       LR_LOADFROMFILE | LR_CREATEDIBSECTION | LR_DEFAULTSIZE);
    } else
        loaded.bitmap = LoadImageA(AppState.instance, MAKEINTRESOURCEA(sprite.resourceId),
                                   IMAGE_BITMAP, 0, 0, resourceFlags);
    if (!loaded.bitmap) {
        char reason[256] = "the bitmap resource could not be loaded";
        if (quietLoadErrors && sprite.source == SourceFile)
            DescribeBitmapFailure(sprite.FilePath(), reason, sizeof reason);
        if (!QuietFailure(sprite, "%s", reason))
            ShowSpriteError(errorFormat, errorLine, true);
        return false;
    }
    loaded.dc = CreateCompatibleDC(nullptr);
    if (!loaded.dc) {
        QuietFailure(sprite, "no memory device context for the image");
        return false;
    }
    SelectObject(loaded.dc, static_cast<HGDIOBJ>(loaded.bitmap));
    GetObjectA(static_cast<HGDIOBJ>(loaded.bitmap), sizeof(BITMAP), &info);
    return true;
}

}  // namespace

Sprite::Sprite()
    : frameCount(0),
      clip{},
      source(SourceNone),
      fileName{},
      resourceId(0),
      srcRect{},
      destRect{},
      x(0),
      y(0),
      layer(0),
      width(0),
      height(0),
      frames(nullptr),
      surface(nullptr),
      next(nullptr),
      prev(nullptr),
      listedIn(0) {}

Sprite::Sprite(uint16_t resourceIdArg, int32_t xArg, int32_t yArg, int32_t layerArg,
               int32_t widthArg, int32_t heightArg, uint16_t frameCountArg, int systemMemory)
    : Sprite() {
    Init(resourceIdArg, xArg, yArg, layerArg, widthArg, heightArg, frameCountArg, systemMemory);
}

Sprite::~Sprite() {
    RemoveFromDisplayList();
    if (frames) {
        if (frames->shareCount > 0)
            --frames->shareCount;
        if (frames->shareCount == 0)
            ReleaseFrames();
    }
}

SpriteFrame* Sprite::AppendFrame() {
    SpriteFrame* node = static_cast<SpriteFrame*>(std::malloc(sizeof(SpriteFrame)));
    if (!node)
        return nullptr;
    node->surface = nullptr;
    node->shareCount = 0;
    node->next = nullptr;
    if (!frames) {
        node->shareCount = 1;
        frames = node;
    } else {
        SpriteFrame* last = frames;
        while (last->next)
            last = last->next;
        last->next = node;
    }
    return node;
}

int Sprite::Init(uint16_t resourceIdArg, int32_t xArg, int32_t yArg, int32_t layerArg,
                 int32_t widthArg, int32_t heightArg, uint16_t frameCountArg, int systemMemory) {
    // A file path set by the caller before Init keeps the sprite loading from that file.
    if (resourceIdArg != 0)
        source = SourceResource;
    else if (!(source == SourceFile && HasFile()))
        source = SourceNone;
    resourceId = resourceIdArg;

    if (frames && frames->shareCount > 1) {
        // Frames shared with another sprite keep their size.
        frameCount = frameCountArg;
    } else {
        width = widthArg;
        height = heightArg;
        if (source != SourceNone && (HasFile() || resourceId != 0)) {
            frameCount = frameCountArg;
            const int loaded = frameCount <= 1 ? LoadSingleImage(systemMemory)
                                               : LoadImageStrip(frameCount, systemMemory);
            if (!loaded)
                return 0;
        } else {
            // A blank sprite has at least one frame.
            const uint16_t count = frameCountArg == 0 ? 1 : frameCountArg;
            for (uint16_t i = 0; i < count; ++i) {
                SpriteFrame* node = AppendFrame();
                if (!node)
                    return 0;
                HRESULT failure = DD_OK;
                node->surface =
                    CreateSpriteSurface(static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        systemMemory, &failure);
                if (!node->surface) {
                    SurfaceFailure(*this, failure);
                    if (!quietLoadErrors)
                        ShowSpriteError(kErrorFormat, 149, false);
                    return 0;
                }
            }
            frameCount = count;
        }
    }

    layer = layerArg;
    x = xArg;
    y = yArg;
    destRect = Rect{x, y, x + width, y + height};
    srcRect = Rect{0, 0, width, height};
    clip = Rect{0, 0, DisplayContext.width - 1, DisplayContext.height - 1};
    surface = frames ? frames->surface : nullptr;
    return 1;
}

int Sprite::LoadSingleImage(int systemMemory) {
    SpriteFrame* node = AppendFrame();
    if (!node)
        return 0;
    LoadedBitmap loaded;
    BITMAP info{};
    if (!OpenBitmap(*this, LR_CREATEDIBSECTION | LR_DEFAULTSIZE, kErrorFormat, 217, loaded, info))
        return 0;
    width = info.bmWidth;
    height = info.bmHeight;

    HRESULT failure = DD_OK;
    node->surface = CreateSpriteSurface(static_cast<unsigned>(width), static_cast<unsigned>(height),
                                        systemMemory, &failure);
    if (!node->surface) {
        loaded.Release();
        SurfaceFailure(*this, failure);
        return 0;
    }

    HDC surfaceDc = nullptr;
    HRESULT hr = node->surface->GetDC(&surfaceDc);
    if (hr != DD_OK) {
        loaded.Release();
        CopyFailure(*this, hr, 234);
        return 0;
    }
    const BOOL copied =
        StretchBlt(surfaceDc, 0, 0, width, height, loaded.dc, 0, 0, width, height, SRCCOPY);
    hr = node->surface->ReleaseDC(surfaceDc);
    loaded.Release();
    if (hr != DD_OK) {
        CopyFailure(*this, hr, 237);
        return 0;
    }
    if (!copied) {
        if (!QuietFailure(*this, "the image could not be copied to its surface"))
            ShowSpriteError(kErrorFormat, 245, false);
        return 0;
    }
    return 1;
}

int Sprite::LoadImageStrip(uint16_t frameCountArg, int systemMemory) {
    LoadedBitmap loaded;
    BITMAP info{};
    if (!OpenBitmap(*this, LR_CREATEDIBSECTION, kLoadErrorFormat, 272, loaded, info))
        return 0;
    // Columns past the last whole frame belong to no frame.
    width = info.bmWidth / frameCountArg;
    height = info.bmHeight;

    BOOL copied = TRUE;
    for (uint16_t i = 0; i < frameCountArg; ++i) {
        SpriteFrame* node = AppendFrame();
        if (!node)
            return 0;
        HRESULT failure = DD_OK;
        node->surface = CreateSpriteSurface(static_cast<unsigned>(width),
                                            static_cast<unsigned>(height), systemMemory, &failure);
        if (!node->surface) {
            loaded.Release();
            SurfaceFailure(*this, failure);
            if (!quietLoadErrors)
                ShowSpriteError(kErrorFormat, 307, false);
            return 0;
        }
        HDC surfaceDc = nullptr;
        HRESULT hr = node->surface->GetDC(&surfaceDc);
        if (hr != DD_OK) {
            loaded.Release();
            CopyFailure(*this, hr, 311);
            return 0;
        }
        copied = StretchBlt(surfaceDc, 0, 0, width, height, loaded.dc, i * width, 0, width, height,
                            SRCCOPY);
        hr = node->surface->ReleaseDC(surfaceDc);
        if (hr != DD_OK) {
            loaded.Release();
            CopyFailure(*this, hr, 314);
            return 0;
        }
        if (!copied)
            break;
    }
    loaded.Release();
    if (!copied) {
        if (!QuietFailure(*this, "the image could not be copied to its surfaces"))
            ShowSpriteError(kErrorFormat, 324, false);
        return 0;
    }
    return 1;
}

int Sprite::LoadFile(const char* path, int32_t xArg, int32_t yArg, int32_t layerArg,
                     uint16_t frameCountArg) {
    if (!path || path[0] == '\0') {
        if (quietLoadErrors)
            SetLoadError("", "no file name given");
        return 0;
    }
    const size_t length = strlen(path);
    fileName[0] = '\0';
    if (length < sizeof fileName)
        memcpy(fileName, path, length + 1);
    source = SourceFile;
    filePath_ = path;
    const int loaded = Init(0, xArg, yArg, layerArg, 0, 0, frameCountArg, 0);
    filePath_ = nullptr;
    return loaded;
}

void Sprite::ReleaseFrames() {
    while (frames) {
        SpriteFrame* node = frames;
        frames = node->next;
        if (node->surface) {
            node->surface->Release();
            node->surface = nullptr;
        }
        std::free(node);
    }
    surface = nullptr;
}

void Sprite::SetClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    clip = Rect{left, top, right, bottom};
}

FontSprite::FontSprite(uint16_t resourceIdArg, uint16_t cellWidthArg, uint16_t cellHeightArg)
    : Sprite(), cellWidth(cellWidthArg), cellHeight(cellHeightArg) {
    Init(resourceIdArg, 0, 0, 0, 0, 0, 1, 0);
}
