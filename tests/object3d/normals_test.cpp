// A game's mesh normals against a plain model, and its objects turning in place.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "object3d/object3d.h"

namespace {

using V3 = std::array<double, 3>;

// An octahedron about the origin, each corner at a random distance; every face runs
// clockwise seen from outside.
void RandomOctahedron(Object3D* o, std::mt19937& random) {
    std::uniform_real_distribution<float> r(0.5f, 2.0f);
    o->vertexCount = 6;
    o->faceCount = 8;
    o->vertices = static_cast<MeshVertex*>(calloc(6, sizeof(MeshVertex)));
    o->faces = static_cast<MeshFace*>(calloc(8, sizeof(MeshFace)));
    for (int i = 0; i < 6; ++i)  // +x, +y, +z, -x, -y, -z
        (&o->vertices[i].x)[i % 3] = (i < 3 ? 1.0f : -1.0f) * r(random);
    int j = 0;
    for (int x : {0, 3})
        for (int y : {1, 4})
            for (int z : {2, 5})  // (+x, +y, +z) is clockwise; each mirror turns it over
                o->faces[j++] = ((x == 3) + (y == 4) + (z == 5)) % 2 ? MeshFace{x, z, y, 0}
                                                                     : MeshFace{x, y, z, 0};
}

// A face's area vector by Newell's method (along the normal by the right-hand rule).
V3 Area(const MeshVertex* p[3]) {
    V3 n{};
    for (int i = 0; i < 3; ++i) {
        const MeshVertex &a = *p[i], &b = *p[(i + 1) % 3];
        n[0] += (double{a.y} - b.y) * (double{a.z} + b.z);
        n[1] += (double{a.z} - b.z) * (double{a.x} + b.x);
        n[2] += (double{a.x} - b.x) * (double{a.y} + b.y);
    }
    return n;
}

void ExpectUnitAlong(const MeshVertex& v, const V3& n) {
    const double length = std::hypot(n[0], n[1], n[2]);
    EXPECT_NEAR(v.nx, n[0] / length, 1e-5);
    EXPECT_NEAR(v.ny, n[1] / length, 1e-5);
    EXPECT_NEAR(v.nz, n[2] / length, 1e-5);
}

}  // namespace

// Flat: each face's three own vertices carry its unit normal, pointing out of the closed
// mesh. Smooth: each vertex the normalised sum of its faces' area vectors. The indices name
// each face's vertices in order.
TEST(MeshNormalsModel, FlatAndSmoothNormalsOfRandomClosedMeshes) {
    std::mt19937 random(7);
    for (int round = 0; round < 100; ++round) {
        Object3D flat(nullptr, 0, 0, 0), smooth(nullptr, 0, 0, 0);
        RandomOctahedron(&flat, random);
        RandomOctahedron(&smooth, random);
        const std::vector<MeshVertex> before(smooth.vertices, smooth.vertices + 6);
        ASSERT_EQ(ApplyNormals(&flat, MeshNormals::Flat), 1);
        ASSERT_EQ(ApplyNormals(&smooth, MeshNormals::Smooth), 1);
        ASSERT_EQ(BuildIndices(&smooth), 1);
        ASSERT_EQ(flat.vertexCount, 24);
        std::vector<V3> sums(6);
        for (unsigned j = 0; j < 8; ++j) {
            const MeshFace& f = flat.faces[j];
            const MeshVertex* p[3] = {&flat.vertices[f.a], &flat.vertices[f.b],
                                      &flat.vertices[f.c]};
            const V3 n = Area(p);
            for (const MeshVertex* v : p)
                ExpectUnitAlong(*v, n);
            EXPECT_GT(n[0] * p[0]->x + n[1] * p[0]->y + n[2] * p[0]->z, 0.0);
            const MeshFace& g = smooth.faces[j];
            const MeshVertex* q[3] = {&before[g.a], &before[g.b], &before[g.c]};
            for (int32_t k : {g.a, g.b, g.c})
                for (int i = 0; i < 3; ++i)
                    sums[k][i] += Area(q)[i];
            EXPECT_TRUE(smooth.indices[3 * j] == g.a && smooth.indices[3 * j + 1] == g.b &&
                        smooth.indices[3 * j + 2] == g.c);
        }
        for (int i = 0; i < 6; ++i)
            ExpectUnitAlong(smooth.vertices[i], sums[i]);
    }
}

// Under any angles an object turning in place keeps its own origin at pos and (1, 2, 3)
// at its distance from it.
TEST(TurnInPlace, ThePivotIsTheObjectsOwnPosition) {
    BuildTrigTables();
    std::mt19937 random(11);
    Object3D o(nullptr, 120.0f, -30.0f, 45.0f);
    o.turnsInPlace = true;
    for (int round = 0; round < 100; ++round) {
        o.pitch = static_cast<int>(random() % 360);
        o.yaw = static_cast<int>(random() % 360);
        o.roll = static_cast<int>(random() % 360);
        const Matrix4 w = o.WorldMatrix();
        EXPECT_NEAR(w._41, 120.0f, 1e-3);
        EXPECT_NEAR(w._42, -30.0f, 1e-3);
        EXPECT_NEAR(w._43, 45.0f, 1e-3);
        const V3 d{w._11 + 2 * w._21 + 3 * w._31, w._12 + 2 * w._22 + 3 * w._32,
                   w._13 + 2 * w._23 + 3 * w._33};
        EXPECT_NEAR(d[0] * d[0] + d[1] * d[1] + d[2] * d[2], 14.0, 1e-3);
    }
}
