// The game library for a game of its own: one header bringing in the window system, the
// display, meshes and scene objects, sprites, text and gauges, and the few calls that set
// up, compose and present a frame, and tear down. docs/LIBRARY.md is the guide.
#pragma once

#include <cstdint>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "platform/backend.h"
#include "resources/resource_ids.h"
#include "sprite/gauge.h"
#include "sprite/sprite.h"

// Opens the run log "info.txt" (unless one is open), fills the sine and cosine tables,
// makes `window` the one a fatal error destroys, and sets up the display and the 3D device
// with a back buffer and viewport of width x height (SetUpDisplay): no scene, no sprites.
// 1 on success, 0 on failure; CloseGame releases what was made either way.
int OpenGame(HWND window, unsigned width, unsigned height);

// Composes and presents one frame: the 3D step (RenderScene with `camera` and the `count`
// objects), the display list (DrawDisplayList), a copy of the whole back buffer to the
// screen, and a black fill of the back buffer for the next frame. Returns 1, or 0 without a
// display or once a failure has been reported (`fatalErrorOccurred`).
int PresentFrame(Object3D* camera, Object3D* const* objects, unsigned count);

// A sprite loaded from a BMP file: one frame from the whole image, or `frameCount` frames
// cut side by side from a strip. The path holds at most 20 characters. The caller owns the
// sprite; none when the name is too long (a run-log line says so) or the load failed (the
// sprite error box has been shown).
Sprite* LoadSpriteFile(const char* path, int32_t x, int32_t y, int32_t layer,
                       uint16_t frameCount = 1);

// Releases the display (ReleaseDisplay) and closes the run log. Delete the game's sprites
// first; its scene objects may go before or after.
void CloseGame();
