// The 3D step of every frame (the test scene's, or any camera and objects) and the
// teardown of the display layer.
#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"

namespace {

constexpr const char* kModule = "directx";

template <typename Interface>
void ReleaseAndClear(Interface*& ref) {
    if (ref) {
        ref->Release();
        ref = nullptr;
    }
}

}  // namespace

int Render3DFrame() {
    Object3D* const objects[] = {shipObject};
    RenderScene(cameraObject, objects, 1);
    return 0;
}

int RenderScene(Object3D* camera, Object3D* const* objects, unsigned count) {
    // Without a device (3D not wanted, or its set-up failed) there is no scene to draw.
    if (!DisplayContext.device || !DisplayContext.viewport)
        return 0;
    // With a depth buffer, every point of it goes back to the far plane as well.
    HRESULT hr =
        DisplayContext.depthBuffer
            ? DisplayContext.viewport->Clear2(1, &DisplayContext.viewportClearRect,
                                              D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0)
            : DisplayContext.viewport->Clear2(1, &DisplayContext.viewportClearRect, D3DCLEAR_TARGET,
                                              0, 0.0f, 0);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 601);
        return 0;
    }
    hr = DisplayContext.device->BeginScene();
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 603);
        return 0;
    }
    // The camera first, so the meshes are drawn with this frame's view; nothing steps with
    // the time elapsed since the last frame. The objects report their own failures and the
    // scene goes on to its end regardless.
    if (camera)
        camera->UpdateView();
    for (unsigned i = 0; i < count; ++i) {
        Object3D* object = objects[i];
        if (!object || object == camera)
            continue;
        object->UpdateWorld();
        object->Draw();
    }
    hr = DisplayContext.device->EndScene();
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 609);
        return 0;
    }
    DisplayContext.lastFrameTime = SceneClock;
    return 1;
}

void ReleaseDisplay() {
    if (DisplayContext.want3D) {
        ReleaseAndClear(DisplayContext.device);
        ReleaseAndClear(DisplayContext.viewport);
        ReleaseAndClear(DisplayContext.direct3D);
    }
    // The material and the light are not used after start-up; with the device and the
    // viewport gone they are released too, so nothing of the scene outlives the teardown.
    ReleaseAndClear(sceneLight);
    ReleaseAndClear(DisplayContext.material);
    DisplayContext.materialHandle = 0;
    // The back buffer holds its own reference to an attached depth buffer.
    ReleaseAndClear(DisplayContext.depthBuffer);
    DisplayContext.wantDepthBuffer = 0;
    DisplayContext.squarePixels = 0;
    ReleaseAndClear(DisplayContext.backBuffer);
    ReleaseAndClear(DisplayContext.primarySurface);
    // Every surface is gone now (the overlay's went first), so the device can go as well.
    ReleaseAndClear(DisplayContext.directDraw4);
    ReleaseAndClear(DisplayContext.directDraw);
    if (shipObject) {
        delete shipObject;
        shipObject = nullptr;
    }
    if (cameraObject) {
        delete cameraObject;
        cameraObject = nullptr;
    }
}
