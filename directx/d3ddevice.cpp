// The Direct3D device on the back buffer, its viewport and the fixed scene state (material,
// light, ambient level, projection); and the test scene: its two objects and the overlay.
#include <bit>
#include <cstdint>
#include <cstring>
#include <new>

#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/object3d.h"
#include "sprite/overlay.h"

IDirect3DLight* sceneLight = nullptr;

namespace {

constexpr const char* kModule = "directx";

// The devices tried in turn: hardware first, then the software devices.
struct DeviceChoice {
    const IID* guid;
    const char* logLine;
};

}  // namespace

D3DVIEWPORT2 SceneViewport(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                           unsigned viewportHeight) {
    const uint16_t w = static_cast<uint16_t>(viewportWidth);
    const uint16_t h = static_cast<uint16_t>(viewportHeight);
    // One division, rounded once to float: 640 / 480 gives 1.3333334.
    const float aspect = static_cast<float>(static_cast<double>(w) / static_cast<double>(h));
    // The clip rectangle carries the screen's aspect: y spans +aspect down to -aspect.
    D3DVIEWPORT2 view;
    memset(&view, 0, sizeof view);
    view.dwSize = sizeof view;
    view.dwX = static_cast<uint16_t>(viewportX);
    view.dwY = static_cast<uint16_t>(viewportY);
    view.dwWidth = w;
    view.dwHeight = h;
    view.dvClipX = -1.0f;
    view.dvClipY = aspect;
    view.dvClipWidth = 2.0f;
    view.dvClipHeight = 2.0f * aspect;
    view.dvMinZ = 0.0f;
    view.dvMaxZ = 1.0f;
    return view;
}

D3DMATRIX SceneProjection() {
    // Perspective with near plane 50, far plane 1000 and a scale of 2 on both axes; the
    // screen's aspect lives in the viewport's clip rectangle, not here.
    D3DMATRIX projection;
    memset(&projection, 0, sizeof projection);
    projection._11 = 2.0f;
    projection._22 = 2.0f;
    projection._33 = std::bit_cast<float>(0x3F86BCA2u);  // far / (far - near)
    projection._34 = 1.0f;
    projection._43 = std::bit_cast<float>(0xC25286BDu);  // -near * far / (far - near)
    return projection;
}

D3DVIEWPORT2 GameViewport(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                          unsigned viewportHeight) {
    D3DVIEWPORT2 view = SceneViewport(viewportX, viewportY, viewportWidth, viewportHeight);
    view.dvClipY = 1.0f;
    view.dvClipHeight = 2.0f;
    return view;
}

D3DMATRIX GameProjection(unsigned viewportWidth, unsigned viewportHeight) {
    D3DMATRIX projection = SceneProjection();
    const uint16_t w = static_cast<uint16_t>(viewportWidth);
    const uint16_t h = static_cast<uint16_t>(viewportHeight);
    if (w > 0 && h > 0)
        projection._22 = static_cast<float>(2.0 * w / h);
    return projection;
}

D3DMATERIAL SceneMaterial() {
    D3DMATERIAL material;
    memset(&material, 0, sizeof material);
    material.dwSize = sizeof material;
    material.diffuse = D3DCOLORVALUE{0.5f, 0.0f, 0.5f, 1.0f};
    material.ambient = D3DCOLORVALUE{0.5f, 0.0f, 0.5f, 1.0f};
    material.specular = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 1.0f};
    material.emissive = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 0.0f};
    material.power = 50.0f;
    material.hTexture = 0;
    material.dwRampSize = 0;
    return material;
}

D3DLIGHT2 SceneLight() {
    // One white point light above and in front of the origin, unattenuated.
    D3DLIGHT2 light;
    memset(&light, 0, sizeof light);
    light.dwSize = sizeof light;
    light.dltType = D3DLIGHT_POINT;
    light.dcvColor = D3DCOLORVALUE{1.0f, 1.0f, 1.0f, 0.0f};
    light.dvPosition = D3DVECTOR{0.0f, 100.0f, 100.0f};
    light.dvDirection = D3DVECTOR{0.0f, 0.0f, 0.0f};
    light.dvRange = D3DLIGHT_RANGE_MAX;
    light.dvFalloff = 0.0f;
    light.dvAttenuation0 = 1.0f;
    light.dvAttenuation1 = 0.0f;
    light.dvAttenuation2 = 0.0f;
    light.dvTheta = 0.0f;
    light.dvPhi = 0.0f;
    light.dwFlags = D3DLIGHT_ACTIVE;
    return light;
}

int CreateDirect3DDevice(unsigned viewportX, unsigned viewportY, unsigned viewportWidth,
                         unsigned viewportHeight) {
    const uint16_t x = static_cast<uint16_t>(viewportX);
    const uint16_t y = static_cast<uint16_t>(viewportY);
    const uint16_t w = static_cast<uint16_t>(viewportWidth);
    const uint16_t h = static_cast<uint16_t>(viewportHeight);

    HRESULT hr = DisplayContext.directDraw->QueryInterface(
        IID_IDirect3D3, reinterpret_cast<void**>(&DisplayContext.direct3D));
    if (hr != DD_OK) {
        ReportDirectDrawError(hr, kModule, 351);
        return 0;
    }

    const DeviceChoice choices[] = {
        {&IID_IDirect3DHALDevice, "D3D device using HAL\n"},
        {&IID_IDirect3DRGBDevice, "D3D device using RGB\n"},
        {&IID_IDirect3DRampDevice, "D3D device using RAMP\n"},
        {&IID_IDirect3DMMXDevice, "D3D device using MMX\n"},
    };
    bool created = false;
    for (const DeviceChoice& choice : choices) {
        hr = DisplayContext.direct3D->CreateDevice(*choice.guid, DisplayContext.backBuffer,
                                                   &DisplayContext.device, nullptr);
        if (hr == D3D_OK) {
            RunLogPrintf("%s", choice.logLine);
            created = true;
            break;
        }
        DisplayContext.device = nullptr;
    }
    // Not a fatal error: the start-up's own failure message follows.
    if (!created) {
        RunLogPrintf("D3D could not create device\n");
        return 0;
    }

    IDirect3DDevice3* device = DisplayContext.device;
    hr = device->SetRenderState(D3DRENDERSTATE_SHADEMODE, D3DSHADE_GOURAUD);
    if (hr != D3D_OK) {
        ReportDirectDrawError(hr, kModule, 379);
        return 0;
    }

    // A depth buffer attached to the back buffer is tested from the start.
    if (DisplayContext.depthBuffer) {
        hr = device->SetRenderState(D3DRENDERSTATE_ZENABLE, D3DZB_TRUE);
        if (hr != D3D_OK) {
            ReportDirect3DError(hr, kModule, 381);
            return 0;
        }
    }

    D3DVIEWPORT2 view =
        DisplayContext.squarePixels ? GameViewport(x, y, w, h) : SceneViewport(x, y, w, h);

    hr = DisplayContext.direct3D->CreateViewport(&DisplayContext.viewport, nullptr);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 396);
        return 0;
    }
    hr = device->AddViewport(DisplayContext.viewport);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 398);
        return 0;
    }
    hr = DisplayContext.viewport->SetViewport2(&view);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 400);
        return 0;
    }
    hr = device->SetCurrentViewport(DisplayContext.viewport);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 403);
        return 0;
    }

    const RECT& screen = DisplayContext.screenRect;
    DisplayContext.viewportClearRect =
        D3DRECT{screen.left, screen.top, screen.right, screen.bottom};
    DisplayContext.viewportWidth = w;
    DisplayContext.viewportHeight = h;
    SetupSceneState();
    return 1;
}

void CreateSceneObjects() {
    shipObject = new (std::nothrow) Object3D("ship.xxx", 0.0f, 0.0f, 0.0f);
    cameraObject = new (std::nothrow) Object3D(nullptr, 0.0f, 0.0f, 200.0f);
    if (cameraObject)
        cameraObject->target = shipObject;

    CreateOverlay();
}

void SetupSceneState() {
    SetupMaterial();
    SetupLight();

    D3DMATRIX projection =
        DisplayContext.squarePixels
            ? GameProjection(DisplayContext.viewportWidth, DisplayContext.viewportHeight)
            : SceneProjection();
    DisplayContext.device->SetTransform(D3DTRANSFORMSTATE_PROJECTION, &projection);
}

void SetupMaterial() {
    HRESULT hr = DisplayContext.direct3D->CreateMaterial(&DisplayContext.material, nullptr);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 211);
        return;
    }

    D3DMATERIAL material = SceneMaterial();
    hr = DisplayContext.material->SetMaterial(&material);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 240);
        return;
    }
    D3DMATERIALHANDLE handle = 0;
    hr = DisplayContext.material->GetHandle(DisplayContext.device, &handle);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 242);
        return;
    }
    DisplayContext.materialHandle = handle;
    hr = DisplayContext.device->SetLightState(D3DLIGHTSTATE_MATERIAL, handle);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 244);
        return;
    }
    hr = DisplayContext.device->SetLightState(D3DLIGHTSTATE_AMBIENT, 0xFFFFFFFFu);
    if (hr != D3D_OK)
        ReportDirect3DError(hr, kModule, 246);
}

void SetupLight() {
    IDirect3DLight* light = nullptr;
    HRESULT hr = DisplayContext.direct3D->CreateLight(&light, nullptr);
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 255);
        return;
    }
    sceneLight = light;

    D3DLIGHT2 description = SceneLight();
    // The interface takes the first version of the record; dwSize says it is the second.
    hr = light->SetLight(reinterpret_cast<D3DLIGHT*>(&description));
    if (hr != D3D_OK) {
        ReportDirect3DError(hr, kModule, 283);
    } else {
        hr = DisplayContext.viewport->AddLight(light);
        if (hr != D3D_OK)
            ReportDirect3DError(hr, kModule, 285);
    }
}
