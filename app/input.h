// The held-key state that steers the camera, and Escape, which ends the run.
#pragma once

#include "platform/win.h"

// Called by the window procedure with every WM_KEYDOWN and WM_KEYUP and its virtual key.
void HandleKey(UINT message, WPARAM key);
