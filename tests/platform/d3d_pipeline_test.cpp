// The geometry pipeline on plain memory: the application's sample tetrahedron (positions,
// culling, lit colour), clipping at every plane with colours carried to the new vertices,
// culling modes, vertices behind the eye, and meshes whose triangles share vertices.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <vector>

#include "platform/soft/d3d/raster.h"

namespace {

using platform::PixelBuffer;
using platform::PixelKind;
using platform::raster::LightState;
using platform::raster::MaterialState;
using platform::raster::Pipeline;
using platform::raster::ViewportState;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DVERTEX Vert(float x, float y, float z, float nx = 0, float ny = 0, float nz = 1) {
    return D3DVERTEX{x, y, z, nx, ny, nz, 0, 0};
}

struct Target {
    int w, h;
    std::vector<uint32_t> px;
    Target(int width, int height) : w(width), h(height), px(static_cast<size_t>(width) * height) {}
    PixelBuffer Buffer() { return PixelBuffer{px.data(), w * 4, w, h, PixelKind::XRGB8888}; }
    uint32_t At(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
    int Count() const {
        int n = 0;
        for (uint32_t p : px)
            n += p != 0;
        return n;
    }
    void Clear() { std::fill(px.begin(), px.end(), 0); }
};

// The application's scene: its projection, the camera's view at the start pose, its
// viewport, material, light and ambient level.
void SetupApplicationScene(Pipeline& p) {
    D3DMATRIX proj{};
    proj._11 = 2;
    proj._22 = 2;
    proj._33 = 1.0526316f;
    proj._34 = 1;
    proj._43 = -52.631580f;
    p.SetProjection(proj);
    D3DMATRIX view = Identity();
    view._43 = 200;
    p.SetView(view);
    p.SetWorld(Identity());
    ViewportState vp;
    vp.x = 0, vp.y = 0, vp.width = 640, vp.height = 480;
    vp.clipX = -1, vp.clipY = 1.3333334f, vp.clipWidth = 2, vp.clipHeight = 2.6666667f;
    vp.minZ = 0, vp.maxZ = 1;
    p.SetViewport(vp);
    static MaterialState material;
    material.diffuse = {0.5f, 0, 0.5f, 1};
    material.ambient = {0.5f, 0, 0.5f, 1};
    material.specular = {1, 1, 1, 1};
    material.power = 50;
    p.SetMaterial(&material);
    LightState light;
    light.type = D3DLIGHT_POINT;
    light.position[0] = 0, light.position[1] = 100, light.position[2] = 100;
    light.range = D3DLIGHT_RANGE_MAX;
    light.active = true;
    p.SetLights(&light, 1);
    p.SetAmbient(0xFFFFFFFF);
}

const D3DVERTEX kTetra[4] = {Vert(0, 10, 0), Vert(-10, -10, 10), Vert(10, -10, 10),
                             Vert(0, -10, -10)};

int DrawFace(Pipeline& p, Target& t, int a, int b, int c) {
    D3DVERTEX tri[3] = {kTetra[a], kTetra[b], kTetra[c]};
    t.Clear();
    p.DrawTriangleList(tri, 3, t.Buffer());
    return t.Count();
}

// R = B = 0.5 + 0.5 * N.L for the light at (0, 100, 100) and N = (0, 0, 1).
double Formula(const D3DVERTEX& v) {
    double lx = -v.x, ly = 100 - v.y, lz = 100 - v.z;
    double ndotl = lz / std::sqrt(lx * lx + ly * ly + lz * lz);
    return std::min(1.0, 0.5 + 0.5 * std::max(0.0, ndotl));
}

TEST(Pipeline, SampleTetrahedronKeepsTheFacesTurnedAwayFromTheNominalCamera) {
    Pipeline p;
    SetupApplicationScene(p);
    Target t(640, 480);
    EXPECT_EQ(DrawFace(p, t, 0, 1, 2), 0);
    EXPECT_EQ(DrawFace(p, t, 1, 3, 2), 0);
    EXPECT_GT(DrawFace(p, t, 0, 2, 3), 300);
    EXPECT_GT(DrawFace(p, t, 0, 3, 1), 300);
}

TEST(Pipeline, SampleTetrahedronLandsWhereTheViewportMappingPutsIt) {
    Pipeline p;
    SetupApplicationScene(p);
    Target t(640, 480);
    D3DVERTEX list[12];
    const int faces[4][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
    for (int f = 0; f < 4; ++f)
        for (int k = 0; k < 3; ++k)
            list[f * 3 + k] = kTetra[faces[f][k]];
    p.DrawTriangleList(list, 12, t.Buffer());
    int minX = 640, maxX = -1, minY = 480, maxY = -1;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (uint32_t c = t.At(x, y)) {
                minX = std::min(minX, x), maxX = std::max(maxX, x);
                minY = std::min(minY, y), maxY = std::max(maxY, y);
                ASSERT_EQ((c >> 8) & 255, 0u);        // no green
                ASSERT_EQ((c >> 16) & 255, c & 255);  // red equals blue
            }
    // Screen positions (320, 222), (289.524, 257.143), (350.476, 257.143), (320, 258.947):
    // the squashed picture, 61 x 37 pixels.
    EXPECT_EQ(minX, 290);
    EXPECT_EQ(maxX, 350);
    EXPECT_TRUE(minY == 222 || minY == 223) << minY;
    EXPECT_EQ(maxY, 258);
}

TEST(Pipeline, SampleTetrahedronColoursFollowTheLightingFormula) {
    Pipeline p;
    SetupApplicationScene(p);
    Target t(640, 480);
    DrawFace(p, t, 0, 2, 3);
    // Pixels next to vertex 0 (320, 222) and vertex 3 (320, 258.947).
    EXPECT_NEAR(static_cast<double>(t.At(320, 223) & 255), Formula(kTetra[0]) * 255, 2.0);
    EXPECT_NEAR(static_cast<double>(t.At(320, 258) & 255), Formula(kTetra[3]) * 255, 2.0);
    DrawFace(p, t, 0, 3, 1);
    // Next to vertex 1 (289.524, 257.143).
    EXPECT_NEAR(static_cast<double>(t.At(290, 257) & 255), Formula(kTetra[1]) * 255, 2.0);
    // Beyond the light's plane (z above 100) N.L is below zero: the light adds nothing and
    // takes nothing away, the ambient part alone remains.
    const D3DVERTEX beyond[3] = {Vert(-20, 10, 150), Vert(20, 10, 150), Vert(0, -20, 150)};
    t.Clear();
    p.DrawTriangleList(beyond, 3, t.Buffer());
    EXPECT_NEAR(static_cast<double>(t.At(320, 240) & 255), Formula(beyond[0]) * 255, 2.0);

    // In the 5-6-5 back buffer, within one 5-bit step of the formula.
    std::vector<uint16_t> px(640 * 480, 0);
    PixelBuffer buf{px.data(), 640 * 2, 640, 480, PixelKind::RGB565};
    D3DVERTEX tri[3] = {kTetra[0], kTetra[2], kTetra[3]};
    p.DrawTriangleList(tri, 3, buf);
    uint16_t c = px[223 * 640 + 320];
    EXPECT_NEAR(c >> 11, Formula(kTetra[0]) * 31, 1.0);
    EXPECT_EQ((c >> 5) & 63, 0);
    EXPECT_EQ(c & 31, c >> 11);
}

// An orthographic set-up (w = 1) where clip space maps straight to the viewport
// (20, 30, 100 x 80) of a larger target, lit so each vertex gets its own level:
// colour = 255 * N.L with the light shining along +z.
struct OrthoScene {
    Pipeline p;
    Target t{160, 120};
    MaterialState material;
    OrthoScene() {
        ViewportState vp;
        vp.x = 20, vp.y = 30, vp.width = 100, vp.height = 80;
        vp.clipX = -1, vp.clipY = 1, vp.clipWidth = 2, vp.clipHeight = 2;
        p.SetViewport(vp);
        material.diffuse = {1, 1, 1, 1};
        p.SetMaterial(&material);
        LightState light;
        light.type = D3DLIGHT_DIRECTIONAL;
        light.direction[0] = 0, light.direction[1] = 0, light.direction[2] = 1;
        light.active = true;
        p.SetLights(&light, 1);
        p.SetCullMode(D3DCULL_NONE);
    }
    static double Sx(double x) { return 20 + (x + 1) * 50; }
    static double Sy(double y) { return 30 + (1 - y) * 40; }
};

struct ClipCase {
    const char* name;
    float v[3][3];  // x, y, z in clip space; the first vertex is outside one plane
};

TEST(Pipeline, ClipsAtEveryPlaneAndCarriesColoursToTheNewVertices) {
    const ClipCase cases[] = {
        {"left", {{-1.7f, 0.1f, 0.5f}, {0.6f, 0.8f, 0.5f}, {0.4f, -0.7f, 0.5f}}},
        {"right", {{1.8f, -0.2f, 0.5f}, {-0.6f, 0.7f, 0.5f}, {-0.3f, -0.8f, 0.5f}}},
        {"top", {{0.1f, 1.9f, 0.5f}, {-0.8f, -0.4f, 0.5f}, {0.7f, -0.6f, 0.5f}}},
        {"bottom", {{-0.2f, -1.6f, 0.5f}, {-0.7f, 0.6f, 0.5f}, {0.8f, 0.5f, 0.5f}}},
        {"near", {{0.0f, 0.8f, -0.9f}, {-0.8f, -0.6f, 0.6f}, {0.8f, -0.7f, 0.4f}}},
        {"far", {{0.1f, -0.8f, 1.8f}, {-0.7f, 0.7f, 0.3f}, {0.8f, 0.6f, 0.5f}}},
    };
    const float level[3] = {1.0f, 0.5f, 0.1f};  // N.L of each vertex
    for (const ClipCase& c : cases) {
        OrthoScene s;
        D3DVERTEX tri[3];
        for (int k = 0; k < 3; ++k)
            tri[k] = Vert(c.v[k][0], c.v[k][1], c.v[k][2], 0, 0, -level[k]);
        s.p.DrawTriangleList(tri, 3, s.t.Buffer());
        // Reference: barycentric coordinates of each pixel centre in the unclipped screen
        // triangle; covered when inside it, inside the viewport and 0 <= z <= 1.
        double X[3], Y[3];
        for (int k = 0; k < 3; ++k)
            // Vertices snap to 1/16 pixel as the rasteriser's do.
            X[k] = std::round(OrthoScene::Sx(c.v[k][0]) * 16) / 16,
            Y[k] = std::round(OrthoScene::Sy(c.v[k][1]) * 16) / 16;
        const double det = (X[1] - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (Y[1] - Y[0]);
        // Centres clearly inside must be drawn, centres clearly outside must not; those
        // within a hair of an edge or the cut (ties) may go either way.
        int drawn = 0;
        const double e = 0.004;
        for (int y = 0; y < 120; ++y)
            for (int x = 0; x < 160; ++x) {
                const double b1 = ((x - X[0]) * (Y[2] - Y[0]) - (X[2] - X[0]) * (y - Y[0])) / det;
                const double b2 = ((X[1] - X[0]) * (y - Y[0]) - (x - X[0]) * (Y[1] - Y[0])) / det;
                const double b0 = 1 - b1 - b2;
                const double z = b0 * c.v[0][2] + b1 * c.v[1][2] + b2 * c.v[2][2];
                const bool inViewport = x >= 20 && x < 120 && y >= 30 && y < 110;
                auto inside = [&](double m) {
                    return b0 >= m && b1 >= m && b2 >= m && z >= m && z <= 1 - m;
                };
                const uint32_t got = s.t.At(x, y);
                ASSERT_TRUE(got == 0 || inViewport) << c.name << ": drawn outside the viewport";
                if (inViewport && inside(e)) {
                    ASSERT_NE(got, 0u) << c.name << ": gap at " << x << "," << y;
                }
                if (!inside(-e)) {
                    ASSERT_EQ(got, 0u) << c.name << ": spill at " << x << "," << y;
                }
                if (!got)
                    continue;
                ++drawn;
                const double colour = 255 * (b0 * level[0] + b1 * level[1] + b2 * level[2]);
                ASSERT_NEAR(static_cast<double>(got & 255), colour, 2.0)
                    << c.name << " at " << x << "," << y;
            }
        EXPECT_GT(drawn, 500) << c.name;
    }
}

TEST(Pipeline, CullModesFollowScreenWinding) {
    OrthoScene s;
    // Clockwise on the y-down screen: x right, then down.
    D3DVERTEX cw[3] = {Vert(-0.5f, 0.5f, 0.5f, 0, 0, -1), Vert(0.5f, 0.5f, 0.5f, 0, 0, -1),
                       Vert(-0.5f, -0.5f, 0.5f, 0, 0, -1)};
    D3DVERTEX ccw[3] = {cw[0], cw[2], cw[1]};
    auto drawn = [&](DWORD mode, D3DVERTEX* tri) {
        s.t.Clear();
        s.p.SetCullMode(mode);
        s.p.DrawTriangleList(tri, 3, s.t.Buffer());
        return s.t.Count() > 0;
    };
    EXPECT_TRUE(drawn(D3DCULL_CCW, cw));
    EXPECT_FALSE(drawn(D3DCULL_CCW, ccw));
    EXPECT_FALSE(drawn(D3DCULL_CW, cw));
    EXPECT_TRUE(drawn(D3DCULL_CW, ccw));
    EXPECT_TRUE(drawn(D3DCULL_NONE, cw));
    EXPECT_TRUE(drawn(D3DCULL_NONE, ccw));
}

TEST(Pipeline, VerticesBehindTheEyeAreClippedAwayInPerspective) {
    Pipeline p;
    SetupApplicationScene(p);
    ViewportState vp;
    vp.x = 100, vp.y = 50, vp.width = 320, vp.height = 240;
    vp.clipX = -1, vp.clipY = 1, vp.clipWidth = 2, vp.clipHeight = 2;
    p.SetViewport(vp);
    p.SetCullMode(D3DCULL_NONE);
    Target t(640, 480);
    // View-space z = world z + 200: the first vertex is behind the eye, the others in front.
    D3DVERTEX tri[3] = {Vert(0, 0, -300), Vert(-40, -30, 100), Vert(40, -30, 100)};
    p.DrawTriangleList(tri, 3, t.Buffer());
    int n = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (t.At(x, y)) {
                ++n;
                ASSERT_TRUE(x >= 100 && x < 420 && y >= 50 && y < 290) << x << "," << y;
            }
    EXPECT_GT(n, 1000);
    // Wholly behind the eye: nothing.
    t.Clear();
    D3DVERTEX behind[3] = {Vert(0, 0, -300), Vert(-40, -30, -250), Vert(40, -30, -260)};
    p.DrawTriangleList(behind, 3, t.Buffer());
    EXPECT_EQ(t.Count(), 0);
}

TEST(Pipeline, WithoutAMaterialVerticesAreWhite) {
    OrthoScene s;
    s.p.SetMaterial(nullptr);
    D3DVERTEX tri[3] = {Vert(-0.5f, 0.5f, 0.5f), Vert(0.5f, 0.5f, 0.5f), Vert(-0.5f, -0.5f, 0.5f)};
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(50, 60), 0xFFFFFFu & 0xFFFFFF);
}

TEST(Pipeline, PointLightAttenuatesWithinItsRange) {
    // Light 1 unit in front of the vertex, range 100, attenuation 0 0 1: A = 0.99^2.
    OrthoScene s;
    LightState light;
    light.type = D3DLIGHT_POINT;
    light.position[2] = -0.5f;
    light.range = 100;
    light.attenuation[0] = 0, light.attenuation[1] = 0, light.attenuation[2] = 1;
    light.active = true;
    s.p.SetLights(&light, 1);
    D3DVERTEX tri[3] = {Vert(0, 0, 0.5f, 0, 0, -1), Vert(0.5f, 0, 0.5f, 0, 0, -1),
                        Vert(0, -0.5f, 0.5f, 0, 0, -1)};
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_NEAR(static_cast<double>(s.t.At(70, 70) & 255), 0xFA, 1.0);
    // Beyond the range the light adds nothing.
    light.range = 0.5f;
    s.p.SetLights(&light, 1);
    s.t.Clear();
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(70, 70), 0u);
}

TEST(Pipeline, NonFiniteInputDrawsNothingAndDoesNoHarm) {
    OrthoScene s;
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    D3DVERTEX tris[9] = {
        Vert(nan, 0.5f, 0.5f),    Vert(0.5f, 0.5f, 0.5f), Vert(-0.5f, -0.5f, 0.5f),
        Vert(-0.5f, 0.5f, 0.5f),  Vert(inf, 0.5f, 0.5f),  Vert(-0.5f, -0.5f, 0.5f),
        Vert(-0.5f, 0.5f, 3e38f), Vert(0.5f, 0.5f, 0.5f), Vert(-0.5f, -0.5f, -3e38f)};
    s.p.DrawTriangleList(tris, 9, s.t.Buffer());
    EXPECT_EQ(s.t.Count(), 0);
    // A light that yields NaN colours leaves black, not garbage.
    LightState light;
    light.type = D3DLIGHT_DIRECTIONAL;
    light.direction[2] = 1;
    light.colour[0] = nan;
    light.active = true;
    s.p.SetLights(&light, 1);
    D3DVERTEX ok[3] = {Vert(-0.5f, 0.5f, 0.5f, 0, 0, -1), Vert(0.5f, 0.5f, 0.5f, 0, 0, -1),
                       Vert(-0.5f, -0.5f, 0.5f, 0, 0, -1)};
    s.p.DrawTriangleList(ok, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(50, 60) >> 16, 0u);
    EXPECT_EQ(s.t.At(50, 60) & 0xFFFF, 0xFFFFu);
}

TEST(Pipeline, SpecularIsOffUntilEnabled) {
    // The eye (view = identity: the origin) looks straight at the vertex, the light shines
    // straight back along the normal: N.H = 1, so specular adds the full specular colour.
    OrthoScene s;
    MaterialState shiny;
    shiny.specular = {1, 1, 1, 1};
    shiny.power = 10;
    s.p.SetMaterial(&shiny);
    D3DVERTEX tri[3] = {Vert(0, 0, 0.5f, 0, 0, -1), Vert(0.5f, 0, 0.5f, 0, 0, -1),
                        Vert(0, -0.5f, 0.5f, 0, 0, -1)};
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(70, 70), 0u);
    s.p.SetSpecular(true);
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(70, 70), 0xFFFFFFu);
    // Power 0 turns the highlight off.
    shiny.power = 0;
    s.p.SetMaterial(&shiny);
    s.t.Clear();
    s.p.DrawTriangleList(tri, 3, s.t.Buffer());
    EXPECT_EQ(s.t.At(70, 70), 0u);
}

// A mesh whose triangles share their vertices draws exactly as its triangles drawn one call
// each, and a second call with another world matrix and light draws what a fresh pipeline
// draws: nothing carries over from shared or earlier vertices. The rippled grid overhangs
// the viewport, so clipped and unclipped triangles both share vertices; it has more
// vertices than the pipeline remembers at once, and every position of a cell's second
// triangle has a second normal there, differing in y and z only; a fan keeps one vertex in
// use for longer than the pipeline remembers it, first as its triangles' first corner, then
// as their second.
TEST(Pipeline, SharedVerticesDrawAsIfEveryTriangleCameAlone) {
    constexpr int kCells = 48;
    auto at = [](int i, int j) {
        const float x = -150 + 300.0f * i / kCells, y = -150 + 300.0f * j / kCells;
        const float z = 8 * std::sin(x * 0.2f) * std::cos(y * 0.15f);
        const float nx = -std::cos(x * 0.2f) * 0.3f, ny = std::sin(y * 0.15f) * 0.3f;
        const float len = std::sqrt(nx * nx + ny * ny + 1);
        return Vert(x, y, z, nx / len, ny / len, -1 / len);
    };
    auto tilted = [&](int i, int j) {
        D3DVERTEX v = at(i, j);
        const float ny = v.ny;
        v.ny = v.nz, v.nz = -ny;
        return v;
    };
    std::vector<D3DVERTEX> mesh;
    for (int j = 0; j < kCells; ++j)
        for (int i = 0; i < kCells; ++i) {
            mesh.insert(mesh.end(), {at(i, j), at(i, j + 1), at(i + 1, j)});
            mesh.insert(mesh.end(), {tilted(i + 1, j), tilted(i, j + 1), tilted(i + 1, j + 1)});
        }
    // The first rows again with another normal: the same positions must be lit anew.
    for (size_t k = 0, n = 6 * 3 * kCells; k < n; ++k) {
        D3DVERTEX v = mesh[k];
        v.nx = 0, v.ny = 0.6f, v.nz = -0.8f;
        mesh.push_back(v);
    }
    // A fan whose centre is in every triangle while thousands of rim vertices pass through:
    // the centre is the oldest remembered vertex again and again when a new one comes in. It
    // faces the light, so it stands out from the grid it covers.
    constexpr int kSpokes = 2500;
    auto rim = [](int i) {
        const float a = 6.2831853f * static_cast<float>(i) / kSpokes;
        return Vert(90 * std::cos(a), 90 * std::sin(a), -4, 0, 0.6f, 0.8f);
    };
    const D3DVERTEX centre = Vert(5, -3, -4, 0, 0.6f, 0.8f);
    for (int i = 0; i < kSpokes; ++i)
        if (i < kSpokes / 2)
            mesh.insert(mesh.end(), {centre, rim(i), rim(i + 1)});
        else
            mesh.insert(mesh.end(), {rim(i), centre, rim(i + 1)});
    D3DMATRIX turned = Identity();
    turned._11 = turned._22 = 0.8f;
    turned._12 = 0.6f, turned._21 = -0.6f;
    turned._43 = 30;
    LightState spot;
    spot.type = D3DLIGHT_SPOT;
    spot.position[2] = -40;
    spot.theta = 0.3f, spot.phi = 0.9f;
    spot.active = true;

    for (bool flat : {false, true}) {
        Pipeline whole, single;
        SetupApplicationScene(whole);
        SetupApplicationScene(single);
        whole.SetShadeMode(flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        single.SetShadeMode(flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        whole.SetCullMode(D3DCULL_NONE);
        single.SetCullMode(D3DCULL_NONE);
        Target a(640, 480), b(640, 480);
        whole.DrawTriangleList(mesh.data(), static_cast<int>(mesh.size()), a.Buffer());
        for (size_t k = 0; k < mesh.size(); k += 3)
            single.DrawTriangleList(&mesh[k], 3, b.Buffer());
        EXPECT_GT(a.Count(), 200000);
        EXPECT_EQ(a.px, b.px) << "flat " << flat;

        // Drawn indexed from its distinct vertices, in calls of whole triangles, the indices
        // far apart enough to share cache entries: the same picture.
        std::map<std::vector<uint8_t>, uint16_t> seen;
        std::vector<D3DVERTEX> distinct;
        std::vector<uint16_t> indices;
        for (const D3DVERTEX& v : mesh) {
            const auto* bytes = reinterpret_cast<const uint8_t*>(&v);
            auto [found, added] = seen.emplace(std::vector<uint8_t>(bytes, bytes + sizeof v),
                                               static_cast<uint16_t>(distinct.size()));
            if (added)
                distinct.push_back(v);
            indices.push_back(found->second);
        }
        ASSERT_LE(distinct.size(), 65535u);
        Pipeline indexed;
        SetupApplicationScene(indexed);
        indexed.SetShadeMode(flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        indexed.SetCullMode(D3DCULL_NONE);
        b.Clear();
        for (size_t first = 0; first < indices.size(); first += 65532)
            indexed.Draw(platform::raster::VertexFormat::Lit, platform::raster::Topology::List,
                         distinct.data(), static_cast<int>(distinct.size()), &indices[first],
                         static_cast<int>(std::min<size_t>(65532, indices.size() - first)),
                         b.Buffer());
        EXPECT_EQ(a.px, b.px) << "indexed, flat " << flat;

        // The same vertices again after the world and the light changed.
        whole.SetWorld(turned);
        whole.SetLights(&spot, 1);
        a.Clear();
        whole.DrawTriangleList(mesh.data(), static_cast<int>(mesh.size()), a.Buffer());
        Pipeline fresh;
        SetupApplicationScene(fresh);
        fresh.SetShadeMode(flat ? D3DSHADE_FLAT : D3DSHADE_GOURAUD);
        fresh.SetCullMode(D3DCULL_NONE);
        fresh.SetWorld(turned);
        fresh.SetLights(&spot, 1);
        b.Clear();
        fresh.DrawTriangleList(mesh.data(), static_cast<int>(mesh.size()), b.Buffer());
        EXPECT_GT(a.Count(), 100000);
        EXPECT_EQ(a.px, b.px) << "flat " << flat;
    }
}

}  // namespace
