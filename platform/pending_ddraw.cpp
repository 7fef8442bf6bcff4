// Placeholder until the software DirectDraw lands: the machine profile and the pixel access
// the 3D device needs, the latter read through the surface's Lock.
#include "platform/ddraw.h"

namespace platform {
namespace {
MachineProfile& Profile() {
    static MachineProfile profile = ProductionProfile();
    return profile;
}
}  // namespace

MachineProfile ProductionProfile() {
    return MachineProfile{};
}
void InstallProfile(const MachineProfile& profile) {
    Profile() = profile;
}
const MachineProfile& CurrentProfile() {
    return Profile();
}

bool GetPixelBuffer(IDirectDrawSurface4* surface, PixelBuffer* out) {
    DDSURFACEDESC2 desc{};
    desc.dwSize = kSurfaceDescSize;
    if (!surface || surface->Lock(nullptr, &desc, 0, nullptr) != DD_OK)
        return false;
    surface->Unlock(nullptr);
    out->pixels = desc.lpSurface;
    out->pitch = desc.lPitch;
    out->width = static_cast<int>(desc.dwWidth);
    out->height = static_cast<int>(desc.dwHeight);
    const DDPIXELFORMAT& f = desc.ddpfPixelFormat;
    if (f.dwRGBBitCount == 8)
        out->kind = PixelKind::Pal8;
    else if (f.dwRGBBitCount == 32)
        out->kind = PixelKind::XRGB8888;
    else if (f.dwGBitMask == 0x07E0)
        out->kind = PixelKind::RGB565;
    else
        out->kind = PixelKind::RGB555;
    return true;
}
}  // namespace platform
