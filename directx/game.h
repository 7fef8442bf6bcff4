// The game library for a game of its own: one header bringing in the window system, the
// display, meshes and scene objects, sprites, text and gauges, and the few calls that set
// up, compose and present a frame, and tear down. docs/LIBRARY.md is the guide.
#pragma once

#include <cstdint>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "directx/load_error.h"
#include "object3d/object3d.h"
#include "platform/backend.h"
#include "platform/gdi.h"
#include "resources/resource_ids.h"
#include "sprite/gauge.h"
#include "sprite/sprite.h"

// Opens the run log "info.txt" (unless one is open), fills the sine and cosine tables,
// makes `window` the one a fatal error destroys, turns quiet load errors on (see
// LastLoadError), starts the frame clock, and sets up the display and the 3D device with a
// back buffer and viewport of width x height (SetUpDisplay): no scene, no sprites. 1 on
// success, 0 on failure; CloseGame releases what was made either way.
int OpenGame(HWND window, unsigned width, unsigned height);

// What a game chooses at set-up.
struct GameOptions {
    // A 16-bit depth buffer attached to the back buffer: the device tests depth and every
    // frame clears it, so nearer surfaces hide farther ones whatever the drawing order.
    bool depthBuffer = false;
};

// OpenGame with options; the three-argument form means the default options. A game opened
// either way gets a projection whose aspect follows its viewport (square pixels).
int OpenGame(HWND window, unsigned width, unsigned height, const GameOptions& options);

// Composes and presents one frame: the 3D step (RenderScene with `camera` and the `count`
// objects), the display list (DrawDisplayList), a copy of the whole back buffer to the
// window's client area wherever the window is, and a black fill of the back buffer for the
// next frame; then, under a frame-rate cap, a sleep until the frame is due, and the frame
// time is taken (FrameSeconds). Returns 1, or 0 without a display or once a failure has
// been reported (`fatalErrorOccurred`).
int PresentFrame(Object3D* camera, Object3D* const* objects, unsigned count);

// The seconds from the previous frame's present (or OpenGame) to the latest one's, read
// from the performance counter (sub-microsecond); a cap's sleep is part of it. Use it to
// move things by speed rather than by frame. 0 before the first frame.
double FrameSeconds();

// Caps the frame rate at `framesPerSecond`: PresentFrame sleeps (it does not spin) until
// the next frame is due on a steady schedule, so the rate holds on average even when single
// sleeps wake late. A frame more than one period late starts the schedule afresh. 0 lifts
// the cap (the default).
void SetFrameRateCap(unsigned framesPerSecond);

// A sprite loaded from a BMP file (a path of any length): one frame from the whole image,
// or `frameCount` frames cut side by side from a strip. The caller owns the sprite. Null
// when it could not be loaded: no box is shown and LastLoadError says why
// ("ring.bmp: no such file", "ring.bmp: not a BMP file", ...).
Sprite* LoadSpriteFile(const char* path, int32_t x, int32_t y, int32_t layer,
                       uint16_t frameCount = 1);

// A scene object at (x, y, z) with the mesh read from `meshPath` and given `normals`. It
// turns about its own position and is drawn indexed, in the scene's material until
// SetColor gives it its own. The caller owns it. Null when the mesh could not be read:
// nothing fatal happens and LastLoadError says why ("gem.xxx: no such file",
// "gem.xxx: not a mesh file", "gem.xxx: too many faces for flat normals (...)").
Object3D* LoadObject(const char* meshPath, float x, float y, float z,
                     MeshNormals normals = MeshNormals::Smooth);

// Releases the display (ReleaseDisplay), turns quiet load errors off and closes the run log.
// Delete the game's sprites first; its scene objects may go before or after.
void CloseGame();
