// The scene object: a pose, an optional triangle mesh read from a mesh file, and an
// optional target. A camera steers from the held keys and sets the view transform; every
// other object sets its world transform and draws. In Update the object that `cameraObject`
// designates is the camera; RenderScene names its camera itself.
#pragma once

#include <cstddef>
#include <cstdint>

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

// The most indices one indexed draw call takes (a whole number of triangles).
constexpr unsigned MaxDrawIndices = 65535;
// The most vertices a mesh with flat normals may have: three a face, within the 16-bit
// vertex count.
constexpr unsigned MaxFlatVertices = 65535;

// The normals a mesh is given when it is loaded for a game (LoadObject).
//  - FromFile: as the reader gives them (every normal (0, 0, 1)).
//  - Flat: every face gets three vertices of its own carrying the face's unit normal, so
//    each face is lit evenly and edges stay sharp. The mesh then has three vertices a face
//    and must stay within 65,535 vertices (21,845 faces).
//  - Smooth: one vertex per mesh vertex with the normalised sum of the normals of the faces
//    that use it, each weighted by the face's area, so curved surfaces shade smoothly.
// A face's normal points to the side from which its vertices run clockwise on screen: the
// side the device's default culling keeps.
enum class MeshNormals { FromFile, Flat, Smooth };

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
    // Draws the mesh (DrawIndexed or DrawExpanded), in the object's own material when it
    // has one (the scene's is selected again afterwards). 1, or 0 after a reported failure.
    int Draw();
    // The faces as triangle lists of three vertices each, in batches (the test
    // application's way).
    int DrawExpanded();
    // The triangles from `vertices` and `indices` (`drawIndexed`), at most MaxDrawIndices
    // indices a call.
    int DrawIndexed();
    // Gives the object its own material: diffuse and ambient (r, g, b), each 0 .. 1 (values
    // outside are clamped). Made on the first call and changed in place after that; drawing
    // then selects it for this object and restores the scene's material afterwards. 1, or 0
    // after a reported failure (the object keeps the scene's material then).
    int SetColor(float r, float g, float b);
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

    // How a game's object differs from the test application's (LoadObject sets both):
    // with `turnsInPlace` the world transform turns the mesh about its own origin and then
    // moves it to `pos`; without, it moves it to `pos` first and turns it about the world
    // origin. With `drawIndexed` Draw hands the vertex array and `indices` to
    // DrawIndexedPrimitive (LoadMesh and ParseMesh build them anew for the new mesh); without,
    // or without indices, it expands the faces into triangle lists.
    bool turnsInPlace = false;
    bool drawIndexed = false;
    // Three vertex indices a face, built when the mesh is loaded (BuildIndices).
    uint16_t* indices = nullptr;
    uint32_t indexCount = 0;
    // The object's own material (SetColor) and its handle on the device; null and 0 without.
    IDirect3DMaterial3* material = nullptr;
    D3DMATERIALHANDLE materialHandle = 0;
};

// Gives the object's mesh the chosen normals (see MeshNormals). Flat replaces the vertex
// and face arrays with three vertices a face. 1 on success; 0 when the flat form would pass
// 65,535 vertices or memory ran out, with the mesh unchanged and `*reason` (when given) set
// to a short text saying why.
int ApplyNormals(Object3D* object, MeshNormals normals, const char** reason = nullptr);
// Builds `indices` (three a face) from the faces. 1, or 0 when memory ran out.
int BuildIndices(Object3D* object);

// Reads a mesh file into the object's four mesh members; 1 on success, 0 on failure.
int LoadMesh(Object3D* object, const char* path);
// Parses mesh text held in memory (`length` bytes, no terminator needed) into the object's
// mesh members exactly as LoadMesh parses a file's contents; `name` labels the run-log
// lines about faults in the text. 1 on success, 0 when memory ran out.
int ParseMesh(Object3D* object, const char* text, size_t length, const char* name);
