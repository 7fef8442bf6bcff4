// Scenes the benchmarks draw with our device and with the peer renderer alike: closed
// spheres seen by a fixed camera, and the application itself after its start-up.
#pragma once

#include <vector>

#include "platform/d3d.h"

namespace bench {

// A vertex array and the triangle list's indices into it.
struct IndexedMesh {
    std::vector<D3DVERTEX> vertices;
    std::vector<WORD> indices;
};

// A UV sphere of radius 50 with `slices` x `stacks`; faces wound clockwise seen from
// outside, as Direct3D's front faces are. The indexed form shares the (slices + 1) x
// (stacks + 1) grid points (at most 65,536 of them); the list form is that mesh expanded,
// the same triangles with the same vertices.
IndexedMesh IndexedSphere(int slices, int stacks);
std::vector<D3DVERTEX> Sphere(int slices, int stacks);

// The sphere scenes' camera: 200 units in front of the origin, looking down +z.
D3DMATRIX SphereView();

// The application after AppInit with the production profile on the headless window system
// (working folder: a fresh temporary one holding assets/ship.xxx), with one frame drawn so
// the camera has its look-at. False, with a line on standard error, when start-up failed.
bool StartApplication();

}  // namespace bench
