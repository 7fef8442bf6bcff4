// Sprites: a position, a layer, a clip rectangle and image frames held in off-screen
// surfaces, loaded from a bitmap (resource or file, one image or a strip of frames) or made
// blank. Sprites reach the back buffer through a display list rebuilt every frame, with
// clipped, colour-keyed blits. FontSprite renders text into a new sprite from a font strip.
#pragma once

#include <cstdint>

#include "platform/ddraw.h"

using Rect = RECT;

enum SpriteSource : uint8_t {
    SourceNone = 0,      // blank frames
    SourceFile = 1,      // a bitmap file, `fileName`
    SourceResource = 2,  // an embedded bitmap, `resourceId`
};

enum ClipResult {
    ClipOutside = 0,
    ClipInside = 1,
    ClipPartial = 2,
};

// One image frame. The first node of a list also counts the sprites sharing the list.
struct SpriteFrame {
    IDirectDrawSurface4* surface;  // none if its creation failed
    uint16_t shareCount;           // first node only; 1 when the list is built
    SpriteFrame* next;
};

class Sprite {
public:
    // An empty sprite: no frames, not listed, nothing loaded.
    Sprite();
    // Starts empty, then runs Init with the same arguments (its result is not reported).
    Sprite(uint16_t resourceId, int32_t x, int32_t y, int32_t layer, int32_t width, int32_t height,
           uint16_t frameCount, int systemMemory);
    // Leaves the display list and releases the frames when no other sprite shares them.
    ~Sprite();

    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    // Loads (resourceId non-zero, or a file named in `fileName` with `source` SourceFile) or
    // makes `frameCount` blank frames of width x height. 1 on success, 0 on failure.
    int Init(uint16_t resourceId, int32_t x, int32_t y, int32_t layer, int32_t width,
             int32_t height, uint16_t frameCount, int systemMemory);
    // Loads the bitmap file at `path` (any length; `fileName` keeps it when it fits) as Init
    // does for a file source, with frameCount frames side by side. 1 on success, 0 on failure.
    int LoadFile(const char* path, int32_t x, int32_t y, int32_t layer, uint16_t frameCount);
    // The path of the file being loaded or, outside LoadFile, `fileName`.
    const char* FilePath() const { return filePath_ ? filePath_ : fileName; }
    int LoadSingleImage(int systemMemory);
    int LoadImageStrip(uint16_t frameCount, int systemMemory);
    void ReleaseFrames();
    void SetClipRect(int32_t left, int32_t top, int32_t right, int32_t bottom);

    // Display list and blits.
    void AddToDisplayList(int32_t layerArgument);
    void RemoveFromDisplayList();
    ClipResult ClassifyClip(Rect clip) const;
    void Draw();
    int CopyTo(Sprite* target, int32_t srcX, int32_t srcY, int32_t copyWidth, int32_t copyHeight,
               int32_t destX, int32_t destY);
    int Fill(uint32_t colour);

    uint16_t frameCount;
    Rect clip;
    SpriteSource source;
    char fileName[21];
    uint16_t resourceId;
    Rect srcRect;
    Rect destRect;
    int32_t x, y;
    int32_t layer;
    int32_t width, height;
    SpriteFrame* frames;
    IDirectDrawSurface4* surface;
    Sprite* next;
    Sprite* prev;
    // The list (counted from program start) this sprite was last linked into; 0 when it has
    // been taken out. Lets a second addition in one frame move the sprite instead of
    // leaving its old neighbours pointing at it.
    uint32_t listedIn;

private:
    SpriteFrame* AppendFrame();
    bool HasFile() const { return fileName[0] != '\0' || filePath_ != nullptr; }

    const char* filePath_ = nullptr;  // set only while LoadFile runs
};

// A font strip: 94 glyphs "!" to "~", each cellWidth x cellHeight, left to right from x 0.
class FontSprite : public Sprite {
public:
    FontSprite(uint16_t resourceId, uint16_t cellWidth, uint16_t cellHeight);

    // Renders `text` into a new blank sprite of columns x rows cells at (x, y), transparent
    // wherever no glyph lands. The caller owns the result; none on failure.
    Sprite* RenderText(const char* text, uint16_t x, uint16_t y, uint16_t columns, uint16_t rows);

    uint16_t cellWidth;
    uint16_t cellHeight;
};

// The display list: sprites listed for the current frame, lowest layer first.
namespace displayList {
extern Sprite* head;
extern Sprite* tail;
extern int restartPending;  // set: the next AddToDisplayList starts a new list
}  // namespace displayList

// Draws every listed sprite onto the back buffer, highest layer first, then arms the
// restart of the list for the next frame.
void DrawDisplayList();

// Name of this module in error reports and boxes.
inline constexpr const char* kSpriteSource = "sprite";
