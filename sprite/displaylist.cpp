// The per-frame display list, clipping, and the blits that draw, copy and fill sprites.
#include <algorithm>

#include "directx/diag.h"
#include "directx/display.h"
#include "directx/load_error.h"
#include "sprite/sprite.h"

namespace displayList {
Sprite* head = nullptr;
Sprite* tail = nullptr;
int restartPending = 1;
}  // namespace displayList

using displayList::head;
using displayList::restartPending;
using displayList::tail;

namespace {

// The fill descriptor, reused by every Fill.
DDBLTFX fillFx;

// Number of the current list; a new one starts at every restart.
uint32_t listNumber = 1;

DWORD BlitFlags() {
    return DisplayContext.hardwareDestColorKey ? (DDBLT_WAIT | DDBLT_KEYDEST)
                                               : (DDBLT_WAIT | DDBLT_KEYSRC);
}

}  // namespace

void Sprite::AddToDisplayList(int32_t layerArgument) {
    if (restartPending) {
        head = nullptr;
        tail = nullptr;
        restartPending = 0;
        ++listNumber;
    }
    if (listedIn == listNumber) {
        // Already in this frame's list: unlink it from its neighbours before listing anew.
        if (prev)
            prev->next = next;
        else
            head = next;
        if (next)
            next->prev = prev;
        else
            tail = prev;
    }
    next = nullptr;
    prev = nullptr;
    listedIn = 0;
    if (ClassifyClip(clip) == ClipOutside)
        return;
    if (layerArgument > 0)
        layer = layerArgument;

    if (!head) {
        head = tail = this;
    } else if (layer >= tail->layer) {
        prev = tail;
        tail->next = this;
        tail = this;
    } else if (head->layer >= layer) {
        next = head;
        head->prev = this;
        head = this;
    } else {
        // Strictly between the ends: before the first sprite of a higher layer.
        Sprite* at = head->next;
        while (at->layer <= layer)
            at = at->next;
        prev = at->prev;
        next = at;
        at->prev->next = this;
        at->prev = this;
    }
    listedIn = listNumber;
}

void Sprite::RemoveFromDisplayList() {
    if (!next && !prev && head != this)
        return;
    listedIn = 0;
    if (head == this) {
        if (next) {
            head = next;
            head->prev = nullptr;
        } else {
            head = tail = nullptr;
        }
    } else if (tail == this) {
        if (prev) {
            tail = prev;
            tail->next = nullptr;
        } else {
            head = tail = nullptr;
        }
    } else {
        for (Sprite* at = head; at; at = at->next) {
            if (at == this) {
                prev->next = next;
                next->prev = prev;
                break;
            }
        }
    }
}

ClipResult Sprite::ClassifyClip(Rect c) const {
    if (x > c.right || x + width < c.left || y > c.bottom || y + height < c.top)
        return ClipOutside;
    if (x >= c.left && x + width <= c.right && y >= c.top && y + height <= c.bottom)
        return ClipInside;
    return ClipPartial;
}

void Sprite::Draw() {
    // A sprite whose frames could not be loaded has nothing to show.
    if (!surface || !DisplayContext.backBuffer)
        return;
    Rect dest;
    Rect src;
    switch (ClassifyClip(clip)) {
        case ClipInside:
            dest = Rect{x, y, x + width, y + height};
            src = srcRect;
            break;
        case ClipPartial:
            dest.left = std::max<LONG>(x, clip.left);
            dest.top = std::max<LONG>(y, clip.top);
            dest.right = std::min<LONG>(x + width, clip.right);
            dest.bottom = std::min<LONG>(y + height, clip.bottom);
            if (dest.left == dest.right || dest.top == dest.bottom)
                return;
            src = Rect{dest.left - x, dest.top - y, dest.right - x, dest.bottom - y};
            break;
        default:
            return;
    }
    const HRESULT hr = DisplayContext.backBuffer->Blt(&dest, surface, &src, BlitFlags(), nullptr);
    if (hr != DD_OK)
        ReportDirectDrawError(hr, kSpriteSource, 550);
}

void DrawDisplayList() {
    for (Sprite* s = tail; s; s = s->prev)
        s->Draw();
    restartPending = 1;
}

int Sprite::CopyTo(Sprite* target, int32_t srcX, int32_t srcY, int32_t copyWidth,
                   int32_t copyHeight, int32_t destX, int32_t destY) {
    Rect src{srcX, srcY, srcX + copyWidth, srcY + copyHeight};
    destRect = Rect{destX, destY, destX + copyWidth, destY + copyHeight};
    if (destX + copyWidth > target->width || destY + copyHeight > target->height) {
        if (quietLoadErrors) {
            SetLoadError("sprite copy", "%d x %d at (%d, %d) overruns its %d x %d target",
                         copyWidth, copyHeight, destX, destY, target->width, target->height);
            return -99;
        }
        if (DisplayContext.directDraw4)
            DisplayContext.directDraw4->FlipToGDISurface();
        wsprintfA(scratchText, "%s", "Source sprite overran dest sprite");
        MessageBoxA(nullptr, scratchText, "ERROR", MB_OK);
        return -99;
    }
    // Either side without a surface (its load failed): nothing to copy.
    if (!surface || !target->surface)
        return 0;
    const HRESULT hr = target->surface->Blt(&destRect, surface, &src, BlitFlags(), nullptr);
    if (hr != DD_OK)
        ReportDirectDrawError(hr, kSpriteSource, 689);
    return 0;
}

int Sprite::Fill(uint32_t colour) {
    if (!surface)
        return 0;
    fillFx.dwSize = sizeof(DDBLTFX);
    fillFx.dwFillColor = colour;
    const HRESULT hr =
        surface->Blt(nullptr, nullptr, nullptr, DDBLT_COLORFILL | DDBLT_WAIT, &fillFx);
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kSpriteSource, 875);
        return 0;
    }
    return 1;
}
