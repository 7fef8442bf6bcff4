// The scene object: a pose, an optional triangle mesh read from a mesh file, and an
// optional target. A camera steers from the held keys and sets the view transform; every
// other object sets its world transform and draws. In Update the object that `cameraObject`
// designates is the camera; RenderScene names its camera itself.
#pragma once

#include <cstddef>

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
    // The camera's branch of UpdateTransform for `cameraObject`, the world branch for any
    // other object.
    int UpdateTransform(float elapsed);
    // As a camera: steer from InputState's held keys, look at `target` (when there is one)
    // and set the view transform. 1, or 0 after a reported failure.
    int UpdateView();
    // As a drawn object: set the world transform. 1, or 0 after a reported failure.
    int UpdateWorld();
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

    // The camera's look-at matrix of its latest frame (the identity before the first),
    // used again when the camera stands on its target and no look-at can be formed.
    Matrix4 lastLookAt;
};

// Reads a mesh file into the object's four mesh members; 1 on success, 0 on failure.
int LoadMesh(Object3D* object, const char* path);
// Parses mesh text held in memory (`length` bytes, no terminator needed) into the object's
// mesh members exactly as LoadMesh parses a file's contents; `name` labels the run-log
// lines about faults in the text. 1 on success, 0 when memory ran out.
int ParseMesh(Object3D* object, const char* text, size_t length, const char* name);
