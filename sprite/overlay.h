// The overlay scene: a caption rendered with a bitmap font, four gauges that count down and
// refill, and a crosshair; plus the per-frame draw of the display list.
#pragma once

int CreateOverlay();
void UpdateOverlay();
void DestroyOverlay();
void DrawDisplayList();
