// The normals a game's mesh is given when it is loaded (flat or smooth), and the index
// array its indexed drawing uses. Both run once at load time; drawing allocates nothing.
#include <cmath>
#include <cstdlib>

#include "object3d/object3d.h"
#include "platform/base.h"

namespace {

// Every allocation passes here, so tests can make it fail.
void* NormalsAlloc(size_t bytes) {
    if (PLATFORM_HOOK("malloc", "bytes=%zu", bytes) != 0)
        return nullptr;
    return malloc(bytes);
}

struct Normal {
    double x = 0.0, y = 0.0, z = 0.0;
};

// The cross product (b - a) x (c - a): perpendicular to the face, twice its area long, and
// pointing to the side from which a, b, c run clockwise on screen (the device keeps that
// side; its default culling removes counter-clockwise triangles).
Normal FaceNormal(const MeshVertex& a, const MeshVertex& b, const MeshVertex& c) {
    const double ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const double vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    return Normal{uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
}

// Scales the normal to unit length into the vertex; a normal of no length (a face without
// area, or a vertex whose faces cancel out or that no face uses) becomes (0, 0, 1), the
// reader's own normal, so every normal stays a unit vector.
void StoreUnit(MeshVertex& v, const Normal& n) {
    const double length = std::sqrt(n.x * n.x + n.y * n.y + n.z * n.z);
    if (!(length > 0.0) || !std::isfinite(length)) {
        v.nx = 0.0f;
        v.ny = 0.0f;
        v.nz = 1.0f;
        return;
    }
    v.nx = static_cast<float>(n.x / length);
    v.ny = static_cast<float>(n.y / length);
    v.nz = static_cast<float>(n.z / length);
}

int SmoothNormals(Object3D* object, const char** reason) {
    if (object->vertexCount == 0)
        return 1;
    Normal* sums = static_cast<Normal*>(NormalsAlloc(object->vertexCount * sizeof(Normal)));
    if (!sums) {
        if (reason)
            *reason = "out of memory";
        return 0;
    }
    for (unsigned i = 0; i < object->vertexCount; ++i)
        sums[i] = Normal{};
    // Each face adds its area-weighted normal to its three vertices.
    for (unsigned j = 0; j < object->faceCount; ++j) {
        const MeshFace& f = object->faces[j];
        const Normal n =
            FaceNormal(object->vertices[f.a], object->vertices[f.b], object->vertices[f.c]);
        for (int index : {f.a, f.b, f.c}) {
            sums[index].x += n.x;
            sums[index].y += n.y;
            sums[index].z += n.z;
        }
    }
    for (unsigned i = 0; i < object->vertexCount; ++i)
        StoreUnit(object->vertices[i], sums[i]);
    free(sums);
    return 1;
}

int FlatNormals(Object3D* object, const char** reason) {
    const unsigned faceCount = object->faceCount;
    if (3u * faceCount > MaxFlatVertices) {
        if (reason)
            *reason = "too many faces for flat normals (at most 21845)";
        return 0;
    }
    const unsigned vertexCount = 3u * faceCount;
    MeshVertex* vertices = nullptr;
    MeshFace* faces = nullptr;
    if (faceCount > 0) {
        vertices = static_cast<MeshVertex*>(NormalsAlloc(vertexCount * sizeof(MeshVertex)));
        faces =
            vertices ? static_cast<MeshFace*>(NormalsAlloc(faceCount * sizeof(MeshFace))) : nullptr;
        if (!faces) {
            free(vertices);
            if (reason)
                *reason = "out of memory";
            return 0;
        }
    }
    // Each face gets three vertices of its own, in its own order, all with its unit normal.
    for (unsigned j = 0; j < faceCount; ++j) {
        const MeshFace& f = object->faces[j];
        const MeshVertex& a = object->vertices[f.a];
        const MeshVertex& b = object->vertices[f.b];
        const MeshVertex& c = object->vertices[f.c];
        MeshVertex* out = vertices + 3 * j;
        out[0] = a;
        out[1] = b;
        out[2] = c;
        const Normal n = FaceNormal(a, b, c);
        for (int k = 0; k < 3; ++k)
            StoreUnit(out[k], n);
        const int32_t first = static_cast<int32_t>(3 * j);
        faces[j] = MeshFace{first, first + 1, first + 2, 0};
    }
    free(object->vertices);
    free(object->faces);
    object->vertices = vertices;
    object->faces = faces;
    object->vertexCount = static_cast<uint16_t>(vertexCount);
    return 1;
}

}  // namespace

int ApplyNormals(Object3D* object, MeshNormals normals, const char** reason) {
    switch (normals) {
        case MeshNormals::Flat:
            return FlatNormals(object, reason);
        case MeshNormals::Smooth:
            return SmoothNormals(object, reason);
        case MeshNormals::FromFile:
            break;
    }
    return 1;
}

int BuildIndices(Object3D* object) {
    free(object->indices);
    object->indices = nullptr;
    object->indexCount = 0;
    const uint32_t count = 3u * object->faceCount;
    if (count == 0)
        return 1;
    uint16_t* indices = static_cast<uint16_t*>(NormalsAlloc(count * sizeof(uint16_t)));
    if (!indices)
        return 0;
    // The reader keeps only faces whose indices name one of at most 65,535 vertices.
    for (unsigned j = 0; j < object->faceCount; ++j) {
        const MeshFace& f = object->faces[j];
        indices[3 * j] = static_cast<uint16_t>(f.a);
        indices[3 * j + 1] = static_cast<uint16_t>(f.b);
        indices[3 * j + 2] = static_cast<uint16_t>(f.c);
    }
    object->indices = indices;
    object->indexCount = count;
    return 1;
}
