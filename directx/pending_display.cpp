// Transitional: the display layer is not built yet. Start-up fails honestly (no display),
// and nothing is drawn. Removed when the display layer lands.
#include "directx/display.h"

DisplayContextRecord DisplayContext;
Object3D* shipObject = nullptr;
Object3D* cameraObject = nullptr;

int InitDisplay(HWND, unsigned, unsigned, unsigned, int, unsigned, unsigned, unsigned, unsigned) {
    return 0;
}
IDirectDrawSurface4* CreateSpriteSurface(unsigned, unsigned, int) { return nullptr; }
int Render3DFrame() { return 0; }
void ReleaseDisplay() {}
