// The frame driver: one picture per idle turn of the message loop, with the HUD.
#pragma once

#include "platform/ddraw.h"

struct FpsCounterRecord {
    uint32_t framesDrawn = 0;
    uint32_t markFramesDrawn = 0;
    uint32_t markTime = 0;
    uint32_t fps = 0;
};
extern FpsCounterRecord FpsCounter;
extern DDBLTFX clearFx;

int AppFrame();
HRESULT DrawHud();
