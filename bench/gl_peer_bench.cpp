// The same 3D frames through Mesa's software OpenGL (llvmpipe, one thread unless
// LP_NUM_THREADS says otherwise) into a 640 x 480 16-bit buffer: the application's ship with
// its camera, projection, viewport mapping and point light, and the closed spheres of
// raster_bench.cpp. Built only where OSMesa is found.
//
// Direct3D's row-vector matrices, stored row by row, are OpenGL's column-major matrices of
// the same transform. The projection is followed by the viewport's clip-rectangle mapping and
// by the change from Direct3D's depth range [0, w] to OpenGL's [-w, w]; the depth range then
// maps that back to the viewport's dvMinZ .. dvMaxZ, as our device stores depth. Like our
// device the frame culls faces that are counter-clockwise on screen, shades Gouraud and
// lights per vertex without specular highlights; it has no depth buffer, except in the
// sphere drawn with a 16-bit one (test GL_LEQUAL, as Direct3D's default D3DCMP_LESSEQUAL,
// cleared with the colour every frame).
#include <GL/gl.h>
#include <GL/osmesa.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "directx/display.h"
#include "object3d/object3d.h"
#include "support/scenes.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;

struct GlContext {
    OSMesaContext context = nullptr;
    std::vector<uint16_t> pixels16 = std::vector<uint16_t>(kWidth * kHeight);
    std::vector<uint32_t> pixels32;
    bool rgb565 = false;
};

GlContext* MakeContext(int depthBits) {
    // One rendering thread, as our device has, unless the caller chose a thread count.
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("GALLIUM_DRIVER", "llvmpipe", 1);
    auto* c = new GlContext;
    c->context = OSMesaCreateContextExt(OSMESA_RGB_565, depthBits, 0, 0, nullptr);
    if (c->context && OSMesaMakeCurrent(c->context, c->pixels16.data(), GL_UNSIGNED_SHORT_5_6_5,
                                        kWidth, kHeight)) {
        c->rgb565 = true;
    } else {
        // The closest this Mesa offers: 8 bits per channel.
        if (c->context)
            OSMesaDestroyContext(c->context);
        c->context = OSMesaCreateContextExt(OSMESA_RGBA, depthBits, 0, 0, nullptr);
        c->pixels32.resize(kWidth * kHeight);
        if (!c->context ||
            !OSMesaMakeCurrent(c->context, c->pixels32.data(), GL_UNSIGNED_BYTE, kWidth, kHeight)) {
            std::fprintf(stderr, "bench: no OSMesa context\n");
            delete c;
            return nullptr;
        }
    }
    OSMesaPixelStore(OSMESA_Y_UP, 0);  // row 0 at the top, as the back buffer has it
    return c;
}

// One context without a depth buffer and one with a 16-bit one, each made once and made
// current when used.
GlContext* Context(bool depth) {
    static GlContext* plain = MakeContext(0);
    static GlContext* withDepth = MakeContext(16);
    GlContext* c = depth ? withDepth : plain;
    if (c &&
        !OSMesaMakeCurrent(c->context,
                           c->rgb565 ? static_cast<void*>(c->pixels16.data())
                                     : static_cast<void*>(c->pixels32.data()),
                           c->rgb565 ? GL_UNSIGNED_SHORT_5_6_5 : GL_UNSIGNED_BYTE, kWidth, kHeight))
        return nullptr;
    return c;
}

// Row-vector product a * b of Direct3D matrices.
D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    const float* x = &a._11;
    const float* y = &b._11;
    D3DMATRIX r{};
    float* out = &r._11;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            float s = 0;
            for (int k = 0; k < 4; ++k)
                s += x[i * 4 + k] * y[k * 4 + j];
            out[i * 4 + j] = s;
        }
    return r;
}

// The projection and the viewport's clip rectangle as one OpenGL projection.
D3DMATRIX GlProjection() {
    const D3DVIEWPORT2 vp = SceneViewport(0, 0, kWidth, kHeight);
    D3DMATRIX fix{};
    fix._11 = 2.0f / vp.dvClipWidth;
    fix._22 = 2.0f / vp.dvClipHeight;
    fix._33 = 2.0f;
    fix._41 = -2.0f * vp.dvClipX / vp.dvClipWidth - 1.0f;
    fix._42 = -2.0f * (vp.dvClipY - vp.dvClipHeight) / vp.dvClipHeight - 1.0f;
    fix._43 = -1.0f;
    fix._44 = 1.0f;
    return Multiply(SceneProjection(), fix);
}

void SetUpScene(const D3DMATRIX& world, const D3DMATRIX& view, bool depth) {
    glViewport(0, 0, kWidth, kHeight);
    const D3DVIEWPORT2 vp = SceneViewport(0, 0, kWidth, kHeight);
    glDepthRange(vp.dvMinZ, vp.dvMaxZ);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    if (depth)
        glEnable(GL_DEPTH_TEST);
    else
        glDisable(GL_DEPTH_TEST);
    glDisable(GL_DITHER);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glCullFace(GL_BACK);
    glShadeModel(GL_SMOOTH);
    glClearColor(0, 0, 0, 1);

    glMatrixMode(GL_PROJECTION);
    const D3DMATRIX projection = GlProjection();
    glLoadMatrixf(&projection._11);

    // Lighting in the same terms: white ambient, the material's diffuse and ambient colours,
    // one unattenuated white point light given in world space.
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    const D3DMATERIAL m = SceneMaterial();
    const D3DLIGHT2 l = SceneLight();
    const GLfloat white[] = {1, 1, 1, 1}, none[] = {0, 0, 0, 1};
    glLightModelfv(GL_LIGHT_MODEL_AMBIENT, white);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, GL_TRUE);
    const GLfloat diffuse[] = {m.diffuse.r, m.diffuse.g, m.diffuse.b, m.diffuse.a};
    const GLfloat ambient[] = {m.ambient.r, m.ambient.g, m.ambient.b, m.ambient.a};
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, none);
    const GLfloat colour[] = {l.dcvColor.r, l.dcvColor.g, l.dcvColor.b, 1};
    glLightfv(GL_LIGHT0, GL_DIFFUSE, colour);
    glLightfv(GL_LIGHT0, GL_AMBIENT, none);
    glLightfv(GL_LIGHT0, GL_SPECULAR, none);
    glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, l.dvAttenuation0);
    glMatrixMode(GL_MODELVIEW);
    glLoadMatrixf(&view._11);  // the light's position is taken through the view alone
    const GLfloat position[] = {l.dvPosition.x, l.dvPosition.y, l.dvPosition.z, 1};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    const D3DMATRIX modelView = Multiply(world, view);
    glLoadMatrixf(&modelView._11);
}

// Pixels that are not black: the frame really drew.
double Drawn(const GlContext& c) {
    if (c.rgb565)
        return static_cast<double>(c.pixels16.size() -
                                   std::count(c.pixels16.begin(), c.pixels16.end(), 0));
    size_t n = 0;
    for (uint32_t p : c.pixels32)
        n += (p & 0x00FFFFFFu) != 0;
    return static_cast<double>(n);
}

void Frames(benchmark::State& state, const std::vector<D3DVERTEX>& mesh, const D3DMATRIX& world,
            const D3DMATRIX& view, bool depth = false) {
    GlContext* c = Context(depth);
    if (!c) {
        state.SkipWithError("no OSMesa context");
        return;
    }
    if (depth) {
        GLint bits = 0;
        glGetIntegerv(GL_DEPTH_BITS, &bits);
        if (bits != 16) {
            state.SkipWithError("no 16-bit depth buffer");
            return;
        }
    }
    SetUpScene(world, view, depth);
    const GLbitfield clear = GL_COLOR_BUFFER_BIT | (depth ? GL_DEPTH_BUFFER_BIT : 0);
    glEnableClientState(GL_VERTEX_ARRAY);
    glEnableClientState(GL_NORMAL_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(D3DVERTEX), &mesh[0].x);
    glNormalPointer(GL_FLOAT, sizeof(D3DVERTEX), &mesh[0].nx);
    for (auto _ : state) {
        glClear(clear);
        glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(mesh.size()));
        glFinish();
    }
    state.counters["faces"] = static_cast<double>(mesh.size() / 3);
    state.counters["pixels"] = Drawn(*c);
    state.SetLabel(c->rgb565 ? "RGB565" : "RGBA8888 (no 5-6-5 in this OSMesa)");
}

// The ship as the application lists it: every face's three vertices, in the ship's world
// pose, seen through the camera's look-at of its latest frame.
void BM_GlShip(benchmark::State& state) {
    if (!bench::StartApplication()) {
        state.SkipWithError("the application did not start");
        return;
    }
    const Object3D& ship = *shipObject;
    std::vector<D3DVERTEX> list;
    for (int f = 0; f < ship.faceCount; ++f)
        for (int32_t i : {ship.faces[f].a, ship.faces[f].b, ship.faces[f].c}) {
            const MeshVertex& v = ship.vertices[i];
            list.push_back(D3DVERTEX{v.x, v.y, v.z, v.nx, v.ny, v.nz, v.tu, v.tv});
        }
    Matrix4 view = cameraObject->lastLookAt;
    if (cameraObject->pitch != 0 || cameraObject->yaw != 0 || cameraObject->roll != 0)
        view = MatrixMultiply(view, cameraObject->RotationMatrix());
    Frames(state, list, ship.WorldMatrix(), view);
}

void BM_GlSphere(benchmark::State& state, int slices, int stacks, bool depth) {
    D3DMATRIX world{};
    world._11 = world._22 = world._33 = world._44 = 1;
    Frames(state, bench::Sphere(slices, stacks), world, bench::SphereView(), depth);
}

BENCHMARK(BM_GlShip)->Name("gl/ship")->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_GlSphere, s10k, 71, 71, false)
    ->Name("gl/sphere10k")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GlSphere, s100k, 224, 224, false)
    ->Name("gl/sphere100k")
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_GlSphere, s100k_depth, 224, 224, true)
    ->Name("gl/sphere100k_depth")
    ->Unit(benchmark::kMillisecond);

}  // namespace
