// The overlay scene: a caption rendered with a bitmap font, four gauges that count down and
// refill, and a crosshair; plus the per-frame draw of the display list.
#pragma once

int CreateOverlay();
void UpdateOverlay();
void DestroyOverlay();
void DrawDisplayList();

class FontSprite;
class Gauge;
class Sprite;

// The scene's objects (none where one could not be made), for inspection.
struct OverlayObjects {
    FontSprite* fonts[4];
    Gauge* gauges[4];
    Sprite* crosshair;
    Sprite* caption;
};
OverlayObjects GetOverlayObjects();
