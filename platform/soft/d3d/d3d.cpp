// The software Direct3D device: IDirect3D3 and the device, viewport, material and light
// objects it creates. The objects hold the state; drawing and clearing go to the software
// pipeline (raster.h) with the render target's pixels.
#include "platform/d3d.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "platform/soft/ddraw/ddraw_internal.h"
#include "platform/soft/d3d/raster.h"

const IID IID_IDirect3D3 = {
    0x6b1f3a01, 0x4c2e, 0x11d0, {0x9a, 0x3e, 0x00, 0x60, 0x8c, 0x2d, 0x71, 0x01}};
const IID IID_IDirect3DHALDevice = {
    0x6b1f3a02, 0x4c2e, 0x11d0, {0x9a, 0x3e, 0x00, 0x60, 0x8c, 0x2d, 0x71, 0x02}};
const IID IID_IDirect3DRGBDevice = {
    0x6b1f3a03, 0x4c2e, 0x11d0, {0x9a, 0x3e, 0x00, 0x60, 0x8c, 0x2d, 0x71, 0x03}};
const IID IID_IDirect3DRampDevice = {
    0x6b1f3a04, 0x4c2e, 0x11d0, {0x9a, 0x3e, 0x00, 0x60, 0x8c, 0x2d, 0x71, 0x04}};
const IID IID_IDirect3DMMXDevice = {
    0x6b1f3a05, 0x4c2e, 0x11d0, {0x9a, 0x3e, 0x00, 0x60, 0x8c, 0x2d, 0x71, 0x05}};

namespace {

using platform::raster::LightState;
using platform::raster::MaterialState;
using platform::raster::Pipeline;

class Device;

// Materials are found by handle; the handle is the slot number plus one.
class Material;
std::vector<Material*>& MaterialTable() {
    static std::vector<Material*> table;
    return table;
}

class Material final : public platform::ComObject<IDirect3DMaterial3> {
public:
    Material() : ComObject("IDirect3DMaterial3::Release", nullptr) {}
    ~Material() override {
        if (handle_ != 0)
            MaterialTable()[handle_ - 1] = nullptr;
    }

    HRESULT SetMaterial(D3DMATERIAL* m) override {
        HRESULT hr =
            PLATFORM_HOOK("IDirect3DMaterial3::SetMaterial", "material=%p", static_cast<void*>(m));
        if (hr != 0)
            return hr;
        if (!m || m->dwSize != sizeof(D3DMATERIAL))
            return DDERR_INVALIDPARAMS;
        state_.diffuse = m->diffuse;
        state_.ambient = m->ambient;
        state_.specular = m->specular;
        state_.emissive = m->emissive;
        state_.power = m->power;
        return D3D_OK;
    }

    HRESULT GetHandle(IDirect3DDevice3* device, D3DMATERIALHANDLE* handle) override {
        HRESULT hr =
            PLATFORM_HOOK("IDirect3DMaterial3::GetHandle", "device=%p", static_cast<void*>(device));
        if (hr != 0)
            return hr;
        if (!device || !handle)
            return DDERR_INVALIDPARAMS;
        if (handle_ == 0) {
            auto& table = MaterialTable();
            table.push_back(this);
            handle_ = static_cast<DWORD>(table.size());
        }
        *handle = handle_;
        return D3D_OK;
    }

    const MaterialState& State() const { return state_; }

private:
    MaterialState state_;
    DWORD handle_ = 0;
};

const MaterialState* FindMaterial(D3DMATERIALHANDLE handle) {
    const auto& table = MaterialTable();
    if (handle == 0 || handle > table.size() || !table[handle - 1])
        return nullptr;
    return &table[handle - 1]->State();
}

class Light final : public platform::ComObject<IDirect3DLight> {
public:
    Light() : ComObject("IDirect3DLight::Release", nullptr) {}

    HRESULT SetLight(D3DLIGHT* light) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DLight::SetLight", "type=%u",
                                   light ? static_cast<unsigned>(light->dltType) : 0u);
        if (hr != 0)
            return hr;
        // Only the second record (with dwFlags) is taken.
        if (!light || light->dwSize != sizeof(D3DLIGHT2))
            return DDERR_INVALIDPARAMS;
        const D3DLIGHT2* l = reinterpret_cast<const D3DLIGHT2*>(light);
        if (l->dltType != D3DLIGHT_POINT && l->dltType != D3DLIGHT_SPOT &&
            l->dltType != D3DLIGHT_DIRECTIONAL)
            return DDERR_INVALIDPARAMS;
        LightState s;
        s.type = l->dltType;
        s.colour[0] = l->dcvColor.r;
        s.colour[1] = l->dcvColor.g;
        s.colour[2] = l->dcvColor.b;
        s.position[0] = l->dvPosition.x;
        s.position[1] = l->dvPosition.y;
        s.position[2] = l->dvPosition.z;
        s.direction[0] = l->dvDirection.x;
        s.direction[1] = l->dvDirection.y;
        s.direction[2] = l->dvDirection.z;
        s.range = l->dvRange;
        s.attenuation[0] = l->dvAttenuation0;
        s.attenuation[1] = l->dvAttenuation1;
        s.attenuation[2] = l->dvAttenuation2;
        s.theta = l->dvTheta;
        s.phi = l->dvPhi;
        s.active = (l->dwFlags & D3DLIGHT_ACTIVE) != 0;
        s.specular = (l->dwFlags & D3DLIGHT_NO_SPECULAR) == 0;
        state_ = s;
        return D3D_OK;
    }

    const LightState& State() const { return state_; }
    bool inViewport = false;

private:
    LightState state_;  // inactive until SetLight
};

class Viewport final : public platform::ComObject<IDirect3DViewport3> {
public:
    Viewport() : ComObject("IDirect3DViewport3::Release", nullptr) { lights_.reserve(8); }
    ~Viewport() override {
        for (Light* l : lights_) {
            l->inViewport = false;
            l->Release();
        }
    }

    HRESULT SetViewport2(D3DVIEWPORT2* v) override;
    HRESULT AddLight(IDirect3DLight* light) override {
        HRESULT hr =
            PLATFORM_HOOK("IDirect3DViewport3::AddLight", "light=%p", static_cast<void*>(light));
        if (hr != 0)
            return hr;
        if (!light)
            return DDERR_INVALIDPARAMS;
        auto* l = static_cast<Light*>(light);
        if (l->inViewport)
            return D3DERR_LIGHTHASVIEWPORT;
        l->AddRef();
        l->inViewport = true;
        lights_.push_back(l);
        return D3D_OK;
    }
    HRESULT Clear2(DWORD count, D3DRECT* rects, DWORD flags, D3DCOLOR colour, D3DVALUE z,
                   DWORD stencil) override;

    // The active lights, at most Pipeline::kMaxLights of them, into `out`.
    int ActiveLights(LightState* out) const {
        int n = 0;
        for (const Light* l : lights_)
            if (l->State().active && n < Pipeline::kMaxLights)
                out[n++] = l->State();
        return n;
    }

    Device* device = nullptr;  // set by AddViewport; the device holds a reference to us
    bool hasData = false;
    D3DVIEWPORT2 data{};

private:
    std::vector<Light*> lights_;
};

enum class Kind { HAL, RGB, Ramp, MMX };

const char* KindName(Kind k) {
    switch (k) {
        case Kind::HAL:
            return "HAL";
        case Kind::RGB:
            return "RGB";
        case Kind::Ramp:
            return "RAMP";
        case Kind::MMX:
            return "MMX";
    }
    return "?";
}

class Device final : public platform::ComObject<IDirect3DDevice3> {
public:
    // The depth buffer attached to the target now is the device's for its life; with one,
    // the depth test starts on.
    Device(IUnknown* parent, platform::Surface* target)
        : ComObject("IDirect3DDevice3::Release", nullptr),
          parent_(parent),
          target_(target),
          depth_(target->attachedDepth()) {
        parent_->AddRef();
        target_->AddRef();
        if (depth_)
            depth_->AddRef();
        zEnable_ = depth_ != nullptr;
        viewports_.reserve(4);
    }
    ~Device() override {
        for (Viewport* v : viewports_) {
            v->device = nullptr;
            v->Release();
        }
        if (depth_)
            depth_->Release();
        target_->Release();
        parent_->Release();
    }

    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::SetRenderState", "state=%u value=%u",
                                   static_cast<unsigned>(state), value);
        if (hr != 0)
            return hr;
        switch (state) {
            case D3DRENDERSTATE_SHADEMODE:
                if (value != D3DSHADE_FLAT && value != D3DSHADE_GOURAUD && value != 3)
                    return DDERR_INVALIDPARAMS;
                // Phong (3) was never implemented by the platform's devices; it shades as
                // Gouraud.
                pipeline_.SetShadeMode(value);
                return D3D_OK;
            case D3DRENDERSTATE_CULLMODE:
                if (value < D3DCULL_NONE || value > D3DCULL_CCW)
                    return DDERR_INVALIDPARAMS;
                pipeline_.SetCullMode(value);
                return D3D_OK;
            case D3DRENDERSTATE_SPECULARENABLE:
                pipeline_.SetSpecular(value != 0);
                return D3D_OK;
            case D3DRENDERSTATE_ZENABLE:
                // w-buffering is not offered: it tests z like D3DZB_TRUE.
                if (value > D3DZB_USEW)
                    return DDERR_INVALIDPARAMS;
                zEnable_ = value != D3DZB_FALSE;
                return D3D_OK;
            case D3DRENDERSTATE_ZWRITEENABLE:
                zWrite_ = value != 0;
                return D3D_OK;
            case D3DRENDERSTATE_ZFUNC:
                if (value < D3DCMP_NEVER || value > D3DCMP_ALWAYS)
                    return DDERR_INVALIDPARAMS;
                zFunc_ = value;
                return D3D_OK;
        }
        // Other states have no effect on this device's pictures.
        return D3D_OK;
    }

    HRESULT AddViewport(IDirect3DViewport3* viewport) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::AddViewport", "viewport=%p",
                                   static_cast<void*>(viewport));
        if (hr != 0)
            return hr;
        if (!viewport)
            return DDERR_INVALIDPARAMS;
        auto* v = static_cast<Viewport*>(viewport);
        if (v->device)
            return DDERR_INVALIDPARAMS;  // already on a device
        v->AddRef();
        v->device = this;
        viewports_.push_back(v);
        return D3D_OK;
    }

    HRESULT SetCurrentViewport(IDirect3DViewport3* viewport) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::SetCurrentViewport", "viewport=%p",
                                   static_cast<void*>(viewport));
        if (hr != 0)
            return hr;
        auto* v = static_cast<Viewport*>(viewport);
        if (!v || v->device != this)
            return DDERR_INVALIDPARAMS;
        current_ = v;
        return D3D_OK;
    }

    HRESULT SetLightState(D3DLIGHTSTATETYPE state, DWORD value) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::SetLightState", "state=%u value=0x%08x",
                                   static_cast<unsigned>(state), value);
        if (hr != 0)
            return hr;
        switch (state) {
            case D3DLIGHTSTATE_MATERIAL:
                if (value != 0 && !FindMaterial(value))
                    return DDERR_INVALIDPARAMS;
                material_ = value;
                return D3D_OK;
            case D3DLIGHTSTATE_AMBIENT:
                pipeline_.SetAmbient(value);
                return D3D_OK;
        }
        return DDERR_INVALIDPARAMS;
    }

    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* m) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::SetTransform", "state=%u",
                                   static_cast<unsigned>(state));
        if (hr != 0)
            return hr;
        if (!m)
            return DDERR_INVALIDPARAMS;
        switch (state) {
            case D3DTRANSFORMSTATE_WORLD:
                pipeline_.SetWorld(*m);
                return D3D_OK;
            case D3DTRANSFORMSTATE_VIEW:
                pipeline_.SetView(*m);
                return D3D_OK;
            case D3DTRANSFORMSTATE_PROJECTION:
                pipeline_.SetProjection(*m);
                return D3D_OK;
        }
        return DDERR_INVALIDPARAMS;
    }

    HRESULT BeginScene() override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::BeginScene", "%s", "");
        if (hr != 0)
            return hr;
        if (inScene_)
            return D3DERR_SCENE_IN_SCENE;
        inScene_ = true;
        return D3D_OK;
    }

    HRESULT EndScene() override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::EndScene", "%s", "");
        if (hr != 0)
            return hr;
        if (!inScene_)
            return D3DERR_SCENE_NOT_IN_SCENE;
        inScene_ = false;
        return D3D_OK;
    }

    HRESULT DrawPrimitive(D3DPRIMITIVETYPE type, DWORD format, void* vertices, DWORD count,
                          DWORD flags) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::DrawPrimitive", "type=%u fvf=0x%03x count=%u",
                                   static_cast<unsigned>(type), format, count);
        if (hr != 0)
            return hr;
        return Draw(type, format, vertices, count, nullptr, count);
    }

    HRESULT DrawIndexedPrimitive(D3DPRIMITIVETYPE type, DWORD format, void* vertices,
                                 DWORD vertexCount, WORD* indices, DWORD indexCount,
                                 DWORD flags) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3DDevice3::DrawIndexedPrimitive",
                                   "type=%u fvf=0x%03x count=%u indices=%u",
                                   static_cast<unsigned>(type), format, vertexCount, indexCount);
        if (hr != 0)
            return hr;
        if (indexCount > 0 && !indices)
            return DDERR_INVALIDPARAMS;
        return Draw(type, format, vertices, vertexCount, indices, indexCount);
    }

    platform::Surface* Target() const { return target_; }
    platform::Surface* Depth() const { return depth_; }

private:
    // Both drawing calls: `indices` (null for DrawPrimitive) holds `count` indices into the
    // `vertexCount` vertices; without it the vertices are the stream.
    HRESULT Draw(D3DPRIMITIVETYPE type, DWORD format, void* vertices, DWORD vertexCount,
                 const WORD* indices, DWORD count) {
        using platform::raster::Topology;
        using platform::raster::VertexFormat;
        if (!inScene_)
            return D3DERR_NOTINBEGIN;
        Topology topology;
        switch (type) {
            case D3DPT_TRIANGLELIST:
                topology = Topology::List;
                break;
            case D3DPT_TRIANGLESTRIP:
                topology = Topology::Strip;
                break;
            case D3DPT_TRIANGLEFAN:
                topology = Topology::Fan;
                break;
            default:
                return D3DERR_INVALIDPRIMITIVETYPE;  // points and lines are not drawn
        }
        VertexFormat vertexFormat;
        if (format == D3DFVF_VERTEX)
            vertexFormat = VertexFormat::Lit;
        else if (format == D3DFVF_LVERTEX)
            vertexFormat = VertexFormat::PreLit;
        else if (format == D3DFVF_TLVERTEX)
            vertexFormat = VertexFormat::Transformed;
        else
            return D3DERR_INVALIDVERTEXTYPE;
        if (count == 0)
            return D3D_OK;
        if ((topology == Topology::List && count % 3 != 0) || count > D3DMAXNUMVERTICES ||
            vertexCount > D3DMAXNUMVERTICES || !vertices)
            return DDERR_INVALIDPARAMS;
        // Every index must name one of the vertices: nothing is read past them.
        if (indices) {
            WORD largest = 0;
            for (DWORD i = 0; i < count; ++i)
                largest = std::max(largest, indices[i]);
            if (largest >= vertexCount)
                return DDERR_INVALIDPARAMS;
        }
        if (!current_)
            return D3DERR_NOCURRENTVIEWPORT;
        if (!current_->hasData)
            return D3DERR_VIEWPORTDATANOTSET;
        const bool depthTest = zEnable_ && depth_;
        if (target_->busy() || (depthTest && depth_->busy()))
            return DDERR_SURFACEBUSY;  // locked, or its DC is out
        if (count < 3)
            return D3D_OK;  // a strip or fan of one or two vertices makes no triangle
        PrepareViewport(*current_);
        pipeline_.SetMaterial(FindMaterial(material_));
        LightState lights[Pipeline::kMaxLights];
        pipeline_.SetLights(lights, current_->ActiveLights(lights));
        platform::raster::DepthBuffer depth;
        if (depthTest) {
            depth.pixels = depth_->pixels();
            depth.pitch = depth_->pitch();
            depth.bits = depth_->depthBits();
            depth.func = zFunc_;
            depth.write = zWrite_;
        }
        pipeline_.SetDepth(depthTest ? &depth : nullptr);
        pipeline_.Draw(vertexFormat, topology, vertices, static_cast<int>(vertexCount), indices,
                       static_cast<int>(count), target_->buffer());
        target_->Written();
        if (depthTest && zWrite_) {
            const platform::raster::Scissor w = pipeline_.DepthWritten();
            depth_->WrittenWithin(RECT{w.x0, w.y0, w.x1, w.y1});
        }
        return D3D_OK;
    }

    void PrepareViewport(const Viewport& v) {
        platform::raster::ViewportState s;
        s.x = static_cast<int>(v.data.dwX);
        s.y = static_cast<int>(v.data.dwY);
        s.width = static_cast<int>(v.data.dwWidth);
        s.height = static_cast<int>(v.data.dwHeight);
        s.clipX = v.data.dvClipX;
        s.clipY = v.data.dvClipY;
        s.clipWidth = v.data.dvClipWidth;
        s.clipHeight = v.data.dvClipHeight;
        s.minZ = v.data.dvMinZ;
        s.maxZ = v.data.dvMaxZ;
        pipeline_.SetViewport(s);
    }

    IUnknown* parent_;
    platform::Surface* target_;
    platform::Surface* depth_;  // null without a depth buffer
    bool zEnable_ = false;
    bool zWrite_ = true;
    DWORD zFunc_ = D3DCMP_LESSEQUAL;
    std::vector<Viewport*> viewports_;
    Viewport* current_ = nullptr;
    D3DMATERIALHANDLE material_ = 0;
    bool inScene_ = false;
    Pipeline pipeline_;
};

HRESULT Viewport::SetViewport2(D3DVIEWPORT2* v) {
    HRESULT hr =
        PLATFORM_HOOK("IDirect3DViewport3::SetViewport2", "x=%u y=%u w=%u h=%u", v ? v->dwX : 0u,
                      v ? v->dwY : 0u, v ? v->dwWidth : 0u, v ? v->dwHeight : 0u);
    if (hr != 0)
        return hr;
    if (!v || v->dwSize != sizeof(D3DVIEWPORT2))
        return DDERR_INVALIDPARAMS;
    if (!device)
        return D3DERR_VIEWPORTHASNODEVICE;
    // The rectangle must lie within the render target; a clip volume without extent would
    // divide by zero in the screen mapping.
    const uint64_t right = static_cast<uint64_t>(v->dwX) + v->dwWidth;
    const uint64_t bottom = static_cast<uint64_t>(v->dwY) + v->dwHeight;
    if (right > static_cast<uint64_t>(device->Target()->width()) ||
        bottom > static_cast<uint64_t>(device->Target()->height()))
        return DDERR_INVALIDPARAMS;
    if (!(v->dvClipWidth > 0) || !(v->dvClipHeight > 0) || !(v->dvMaxZ > v->dvMinZ))
        return DDERR_INVALIDPARAMS;
    data = *v;
    hasData = true;
    return D3D_OK;
}

HRESULT Viewport::Clear2(DWORD count, D3DRECT* rects, DWORD flags, D3DCOLOR colour, D3DVALUE z,
                         DWORD stencil) {
    HRESULT hr = PLATFORM_HOOK("IDirect3DViewport3::Clear2", "count=%u flags=0x%x colour=0x%08x",
                               count, flags, colour);
    if (hr != 0)
        return hr;
    if (!device)
        return D3DERR_VIEWPORTHASNODEVICE;
    if (!hasData)
        return D3DERR_VIEWPORTDATANOTSET;
    platform::Surface* depth = device->Depth();
    if ((flags & D3DCLEAR_ZBUFFER) && !depth)
        return D3DERR_ZBUFFER_NOTPRESENT;
    if (flags & D3DCLEAR_STENCIL)
        return D3DERR_STENCILBUFFER_NOTPRESENT;
    if (!(flags & (D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER)) || (count > 0 && !rects))
        return DDERR_INVALIDPARAMS;
    platform::Surface* surface = device->Target();
    if (((flags & D3DCLEAR_TARGET) && surface->busy()) ||
        ((flags & D3DCLEAR_ZBUFFER) && depth->busy()))
        return DDERR_SURFACEBUSY;
    const platform::PixelBuffer target = surface->buffer();
    const uint32_t pixel = platform::raster::PackColour(target.kind, colour);
    const uint32_t depthValue = depth ? platform::raster::DepthValue(depth->depthBits(), z) : 0;
    // Rectangles have exclusive right and bottom edges and are clipped to the viewport.
    const int64_t vx0 = data.dwX, vy0 = data.dwY;
    const int64_t vx1 = vx0 + data.dwWidth, vy1 = vy0 + data.dwHeight;
    for (DWORD i = 0; i < count; ++i) {
        const D3DRECT& r = rects[i];
        const int64_t x0 = std::max<int64_t>(r.x1, vx0), y0 = std::max<int64_t>(r.y1, vy0);
        const int64_t x1 = std::min<int64_t>(r.x2, vx1), y1 = std::min<int64_t>(r.y2, vy1);
        const RECT fill{static_cast<LONG>(x0), static_cast<LONG>(y0), static_cast<LONG>(x1),
                        static_cast<LONG>(y1)};
        if (x0 >= x1 || y0 >= y1)
            continue;
        if ((flags & D3DCLEAR_TARGET) && !surface->Holds(fill, pixel)) {
            platform::raster::FillRect(target, fill.left, fill.top, fill.right, fill.bottom, pixel);
            surface->Filled(fill, pixel);
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            // Only what the drawing since the last clear to this depth may have changed.
            RECT stale = fill;
            if (!depth->HeldBeforeWrites(fill, depthValue, &stale) || stale.left < stale.right)
                platform::raster::FillRect(depth->buffer(), stale.left, stale.top, stale.right,
                                           stale.bottom, depthValue);
            depth->Filled(fill, depthValue);
        }
    }
    return D3D_OK;
}

class Direct3D final : public platform::ComObject<IDirect3D3> {
public:
    explicit Direct3D(IDirectDraw* owner)
        : ComObject("IDirect3D3::Release", &IID_IDirect3D3), owner_(owner) {
        if (owner_)
            owner_->AddRef();
    }
    ~Direct3D() override {
        if (owner_)
            owner_->Release();
    }

    HRESULT CreateDevice(REFCLSID guid, IDirectDrawSurface4* target, IDirect3DDevice3** out,
                         IUnknown* outer) override {
        Kind kind;
        bool known = true;
        if (guid == IID_IDirect3DHALDevice)
            kind = Kind::HAL;
        else if (guid == IID_IDirect3DRGBDevice)
            kind = Kind::RGB;
        else if (guid == IID_IDirect3DRampDevice)
            kind = Kind::Ramp;
        else if (guid == IID_IDirect3DMMXDevice)
            kind = Kind::MMX;
        else {
            kind = Kind::HAL;
            known = false;
        }
        HRESULT hr = PLATFORM_HOOK("IDirect3D3::CreateDevice", "device=%s",
                                   known ? KindName(kind) : "unknown");
        if (hr != 0)
            return hr;
        if (!out)
            return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (!target || outer)
            return DDERR_INVALIDPARAMS;
        // The device kinds this machine can make; the monochromatic device never comes
        // through this interface.
        static constexpr DWORD kBits[] = {platform::kDeviceHAL, platform::kDeviceRGB,
                                          platform::kDeviceRamp, platform::kDeviceMMX};
        if (!known || kind == Kind::Ramp ||
            !(platform::CurrentProfile().creatableDevices & kBits[static_cast<int>(kind)]))
            return D3DERR_INVALID_DEVICE;
        // The render target must be one of this platform's off-screen surfaces, made for
        // 3D, in a format with direct colour.
        platform::Surface* surface = platform::Surface::From(target);
        if (!surface || surface->primary())
            return DDERR_INVALIDPARAMS;
        if (!(surface->caps() & DDSCAPS_3DDEVICE))
            return DDERR_INVALIDCAPS;
        if (surface->kind() == platform::PixelKind::Pal8)
            return DDERR_NOPALETTEATTACHED;
        auto* device = new (std::nothrow) Device(this, surface);
        if (!device)
            return DDERR_OUTOFMEMORY;
        *out = device;
        return D3D_OK;
    }

    HRESULT CreateViewport(IDirect3DViewport3** out, IUnknown* outer) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3D3::CreateViewport", "%s", "");
        if (hr != 0)
            return hr;
        return Make<Viewport>(out, outer);
    }
    HRESULT CreateMaterial(IDirect3DMaterial3** out, IUnknown* outer) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3D3::CreateMaterial", "%s", "");
        if (hr != 0)
            return hr;
        return Make<Material>(out, outer);
    }
    HRESULT CreateLight(IDirect3DLight** out, IUnknown* outer) override {
        HRESULT hr = PLATFORM_HOOK("IDirect3D3::CreateLight", "%s", "");
        if (hr != 0)
            return hr;
        return Make<Light>(out, outer);
    }

private:
    template <class T, class I>
    static HRESULT Make(I** out, IUnknown* outer) {
        if (!out)
            return DDERR_INVALIDPARAMS;
        *out = nullptr;
        if (outer)
            return DDERR_INVALIDPARAMS;
        T* object = new (std::nothrow) T();
        if (!object)
            return DDERR_OUTOFMEMORY;
        *out = object;
        return D3D_OK;
    }

    IDirectDraw* owner_;
};

}  // namespace

namespace platform {

HRESULT CreateDirect3D(IDirectDraw* owner, IDirect3D3** out) {
    if (!out)
        return DDERR_INVALIDPARAMS;
    *out = new (std::nothrow) Direct3D(owner);
    return *out ? D3D_OK : DDERR_OUTOFMEMORY;
}

}  // namespace platform
