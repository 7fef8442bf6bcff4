// The scene object: a pose, an optional triangle mesh read from a mesh file, and an
// optional target. The object that `cameraObject` designates steers from the held keys
// and sets the view transform; every other object sets its world transform and draws.
#pragma once

#include "object3d/math3d.h"

// One mesh vertex: the device's D3DVERTEX layout (position, normal, texture coordinates).
struct MeshVertex {
    float x, y, z;
    float nx, ny, nz;
    float tu, tv;
};
static_assert(sizeof(MeshVertex) == 32);

struct MeshFace {
    int32_t a, b, c;
    int32_t reserved;  // always 0
};

// Capacity of the scratch triangle list of Draw, in vertices (666 faces per batch).
constexpr int MaxDrawVertices = 2000;

class Object3D {
public:
    Object3D(const char* meshFile, float x, float y, float z);
    ~Object3D();
    Object3D(const Object3D&) = delete;
    Object3D& operator=(const Object3D&) = delete;

    int Update(float elapsed);
    int UpdateTransform(float elapsed);
    int Draw();
    Matrix4 RotationMatrix() const;
    Matrix4 WorldMatrix() const;

    Vec3 pos;
    Vec3 dir;
    Vec3 up;
    int pitch = 0;
    int yaw = 0;
    int roll = 0;
    Object3D* target = nullptr;
    uint16_t vertexCount = 0;
    MeshVertex* vertices = nullptr;
    uint16_t faceCount = 0;
    MeshFace* faces = nullptr;
};

// Reads a mesh file into the object's four mesh members; 1 on success, 0 on failure.
int LoadMesh(Object3D* object, const char* path);
