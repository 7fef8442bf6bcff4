// A game's mesh normals against a plain model, and its objects turning in place.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <vector>

#include "object3d/object3d.h"

namespace {

// A closed mesh about the origin: an octahedron with every face split in four, each vertex
// pushed out to a random radius. Every face is seen from outside with its vertices running
// clockwise, and lies in a plane that keeps the origin on its inner side.
void RandomClosedMesh(Object3D* o, std::mt19937& random) {
    std::uniform_real_distribution<float> radius(0.8f, 1.25f);
    const float dirs[6][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    std::vector<MeshVertex> v;
    std::vector<MeshFace> f;
    std::map<std::pair<int, int>, int32_t> made;  // each vertex once, shared by its faces
    auto at = [&](int i, int j) {                 // the vertex on the ray between two axes
        auto [it, fresh] = made.try_emplace({std::min(i, j), std::max(i, j)}, 0);
        if (fresh) {
            float x = dirs[i][0] + dirs[j][0], y = dirs[i][1] + dirs[j][1],
                  z = dirs[i][2] + dirs[j][2];
            const float r = radius(random) / std::sqrt(x * x + y * y + z * z);
            v.push_back(MeshVertex{x * r, y * r, z * r, 0, 0, 1, 0, 0});
            it->second = static_cast<int32_t>(v.size() - 1);
        }
        return it->second;
    };
    for (int sx : {0, 3})
        for (int sy : {1, 4})
            for (int sz : {2, 5}) {
                // (+x, +y, +z) runs clockwise seen from outside; each mirror flips it.
                int c[3] = {sx, sy, sz};
                if (((sx == 3) + (sy == 4) + (sz == 5)) % 2 == 1)
                    std::swap(c[1], c[2]);
                const int32_t a = at(c[0], c[0]), b = at(c[1], c[1]), d = at(c[2], c[2]);
                const int32_t ab = at(c[0], c[1]), bd = at(c[1], c[2]), da = at(c[2], c[0]);
                for (MeshFace face : {MeshFace{a, ab, da, 0}, MeshFace{ab, b, bd, 0},
                                      MeshFace{da, bd, d, 0}, MeshFace{ab, bd, da, 0}})
                    f.push_back(face);
            }
    o->vertexCount = static_cast<uint16_t>(v.size());
    o->faceCount = static_cast<uint16_t>(f.size());
    o->vertices = static_cast<MeshVertex*>(malloc(v.size() * sizeof(MeshVertex)));
    o->faces = static_cast<MeshFace*>(malloc(f.size() * sizeof(MeshFace)));
    std::copy(v.begin(), v.end(), o->vertices);
    std::copy(f.begin(), f.end(), o->faces);
}

// The area vector of a face by Newell's method: half the face's area long, along its normal
// by the right-hand rule.
std::array<double, 3> AreaVector(const MeshVertex* p[3]) {
    std::array<double, 3> n{};
    for (int i = 0; i < 3; ++i) {
        const MeshVertex& a = *p[i];
        const MeshVertex& b = *p[(i + 1) % 3];
        n[0] += (double{a.y} - b.y) * (double{a.z} + b.z) / 2;
        n[1] += (double{a.z} - b.z) * (double{a.x} + b.x) / 2;
        n[2] += (double{a.x} - b.x) * (double{a.y} + b.y) / 2;
    }
    return n;
}

}  // namespace

TEST(MeshNormalsModel, FlatAndSmoothNormalsOfRandomClosedMeshes) {
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        Object3D flat(nullptr, 0, 0, 0), smooth(nullptr, 0, 0, 0);
        RandomClosedMesh(&flat, random);
        RandomClosedMesh(&smooth, random);
        const std::vector<MeshVertex> before(smooth.vertices, smooth.vertices + smooth.vertexCount);
        ASSERT_EQ(ApplyNormals(&flat, MeshNormals::Flat), 1);
        ASSERT_EQ(ApplyNormals(&smooth, MeshNormals::Smooth), 1);

        // Flat: three vertices a face, each with a unit normal perpendicular to the face
        // and pointing away from the origin (out of the closed mesh).
        ASSERT_EQ(flat.vertexCount, 3 * flat.faceCount);
        for (unsigned j = 0; j < flat.faceCount; ++j) {
            const MeshFace& face = flat.faces[j];
            ASSERT_EQ(face.a, static_cast<int32_t>(3 * j));
            const MeshVertex* p[3] = {&flat.vertices[face.a], &flat.vertices[face.b],
                                      &flat.vertices[face.c]};
            for (const MeshVertex* v : p) {
                EXPECT_NEAR(v->nx * v->nx + v->ny * v->ny + v->nz * v->nz, 1.0, 1e-5);
                EXPECT_NEAR(v->nx * (p[1]->x - p[0]->x) + v->ny * (p[1]->y - p[0]->y) +
                                v->nz * (p[1]->z - p[0]->z),
                            0.0, 1e-5);
                EXPECT_NEAR(v->nx * (p[2]->x - p[0]->x) + v->ny * (p[2]->y - p[0]->y) +
                                v->nz * (p[2]->z - p[0]->z),
                            0.0, 1e-5);
                EXPECT_GT(v->nx * p[0]->x + v->ny * p[0]->y + v->nz * p[0]->z, 0.0f);
            }
        }

        // Smooth: the same vertices, each normal the normalised sum of its faces' area vectors.
        std::vector<std::array<double, 3>> sums(before.size());
        for (unsigned j = 0; j < smooth.faceCount; ++j) {
            const MeshFace& face = smooth.faces[j];
            const MeshVertex* p[3] = {&before[face.a], &before[face.b], &before[face.c]};
            const std::array<double, 3> n = AreaVector(p);
            for (int32_t k : {face.a, face.b, face.c})
                for (int i = 0; i < 3; ++i)
                    sums[k][i] += n[i];
        }
        ASSERT_EQ(smooth.vertexCount, before.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const MeshVertex& v = smooth.vertices[i];
            EXPECT_EQ(v.x, before[i].x);
            const double length = std::hypot(sums[i][0], sums[i][1], sums[i][2]);
            EXPECT_NEAR(v.nx, sums[i][0] / length, 1e-5);
            EXPECT_NEAR(v.ny, sums[i][1] / length, 1e-5);
            EXPECT_NEAR(v.nz, sums[i][2] / length, 1e-5);
        }

        // The index array names each face's three vertices in order.
        ASSERT_EQ(BuildIndices(&smooth), 1);
        ASSERT_EQ(smooth.indexCount, 3u * smooth.faceCount);
        for (unsigned j = 0; j < smooth.faceCount; ++j)
            EXPECT_EQ(smooth.indices[3 * j + 2], smooth.faces[j].c);
    }
}

// An object that turns in place keeps its own origin at pos under any angles, and every
// point of it at its distance from pos; the test application's objects swing round the
// world origin instead.
TEST(TurnInPlace, ThePivotIsTheObjectsOwnPosition) {
    BuildTrigTables();
    std::mt19937 random(11);
    std::uniform_int_distribution<int> angle(0, 359);
    Object3D o(nullptr, 120.0f, -30.0f, 45.0f);
    o.turnsInPlace = true;
    for (int round = 0; round < 100; ++round) {
        o.pitch = angle(random);
        o.yaw = angle(random);
        o.roll = angle(random);
        const Matrix4 w = o.WorldMatrix();
        EXPECT_NEAR(w._41, 120.0f, 1e-3);
        EXPECT_NEAR(w._42, -30.0f, 1e-3);
        EXPECT_NEAR(w._43, 45.0f, 1e-3);
        // The point (1, 2, 3) lands sqrt(14) from pos.
        const float x = w._11 + 2 * w._21 + 3 * w._31 + w._41 - 120.0f;
        const float y = w._12 + 2 * w._22 + 3 * w._32 + w._42 + 30.0f;
        const float z = w._13 + 2 * w._23 + 3 * w._33 + w._43 - 45.0f;
        EXPECT_NEAR(x * x + y * y + z * z, 14.0f, 1e-3);
    }
    o.turnsInPlace = false;
    o.yaw = 90;
    EXPECT_GT(std::fabs(o.WorldMatrix()._43 - 45.0f), 100.0f);
}
