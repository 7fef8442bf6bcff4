#include "platform/d3d.h"

// Placeholder until the software 3D device lands: no Direct3D is offered.
namespace platform {
HRESULT CreateDirect3D(IDirectDraw*, IDirect3D3** out) {
    if (out)
        *out = nullptr;
    return E_NOINTERFACE;
}
}  // namespace platform
