// Feeds arbitrary text to the mesh parser: it must never read outside the text or the
// vertex array, and every face it keeps must name vertices that exist and are finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "object3d/object3d.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Object3D object(nullptr, 0.0f, 0.0f, 0.0f);
    if (ParseMesh(&object, reinterpret_cast<const char*>(data), size, "fuzz") != 1)
        abort();  // no allocation is made to fail here
    for (unsigned j = 0; j < object.faceCount; ++j) {
        const MeshFace& f = object.faces[j];
        if (f.a < 0 || f.b < 0 || f.c < 0 || f.a >= object.vertexCount ||
            f.b >= object.vertexCount || f.c >= object.vertexCount || f.reserved != 0)
            abort();
        for (int index : {f.a, f.b, f.c}) {
            const MeshVertex& v = object.vertices[index];
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
                abort();
        }
    }
    for (unsigned i = 0; i < object.vertexCount; ++i)
        if (object.vertices[i].nz != 1.0f)
            abort();
    return 0;
}
