// A game's own 3D through the real software device: square pixels, its objects' materials,
// the depth buffer, indexed drawing, and the reports of the calls only a game makes.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "directx/game.h"
#include "support/alloc_counter.h"
#include "support/display_support.h"

using testing_support::Direct3DReport;
using testing_support::DirectDrawReport;
using testing_support::DisplayTest;
using testing_support::WriteFile;

namespace {

// A square of side `side` in the plane z = 0, its two faces clockwise seen from +z.
std::string Square(int side) {
    const int h = side / 2;
    char text[200];
    snprintf(text, sizeof text, "4\n%d %d 0\n%d %d 0\n%d %d 0\n%d %d 0\n-\n2\n0 1 2\n0 2 3\n", -h,
             -h, h, -h, h, h, -h, h);
    return text;
}

class Game3D : public DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        platform::InstallProfile(platform::ProductionProfile());
        WriteFile("small.xxx", Square(40));
        WriteFile("large.xxx", Square(80));
    }
    void TearDown() override {
        CloseGame();
        DisplayTest::TearDown();
    }

    // One frame of `objects` seen from (0, 0, 200) looking at the origin (the look-at gives
    // that view for a camera at (0, 0, -200)); the screen's 640 x 480 picture after it.
    std::vector<uint32_t> Frame(std::vector<Object3D*> objects) {
        Object3D target(nullptr, 0, 0, 0);
        Object3D camera(nullptr, 0, 0, -200);
        camera.target = &target;
        EXPECT_EQ(PresentFrame(&camera, objects.data(), static_cast<unsigned>(objects.size())), 1)
            << fatalMessage;
        std::vector<uint32_t> out;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                out.push_back(backend_->Screen()[y * backend_->ScreenWidth() + x] & 0xFFFFFF);
        return out;
    }
};

}  // namespace

// A square seen head-on covers as many rows as columns, and its normals face the camera:
// the default culling keeps it and the light in front adds to the ambient colour.
TEST_F(Game3D, ASquareIsAsTallAsItIsWideAndLitFromTheFront) {
    ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    Object3D* square = LoadObject("small.xxx", 0, 0, 0, MeshNormals::Flat);
    ASSERT_NE(square, nullptr);
    const std::vector<uint32_t> picture = Frame({square});
    std::vector<bool> rows(480), columns(640);
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x)
            if (picture[y * 640 + x]) {
                rows[y] = true;
                columns[x] = true;
            }
    const long height = std::count(rows.begin(), rows.end(), true);
    const long width = std::count(columns.begin(), columns.end(), true);
    EXPECT_GT(width, 100);
    EXPECT_NEAR(height, width, 1);
    EXPECT_GT((picture[240 * 640 + 320] >> 16) & 0xFF, 0x90u);  // ambient alone gives 0x80
    delete square;
}

// The nearer object red, the farther in the scene's material, the nearer drawn first:
// without a depth buffer the farther one covers it, with one the nearer stays in front. The indexed
// picture is the one the expanded triangle lists give.
TEST_F(Game3D, MaterialsDepthAndIndexedDrawing) {
    for (bool depth : {false, true}) {
        ASSERT_EQ(OpenGame(window_, 640, 480, GameOptions{depth}), 1);
        Object3D* near = LoadObject("small.xxx", 0, 0, 0);
        Object3D* far = LoadObject("large.xxx", 0, 0, -50);
        ASSERT_TRUE(near && far);
        ASSERT_EQ(near->SetColor(1, 0, 0), 1);
        const std::vector<uint32_t> indexed = Frame({near, far});
        const uint32_t centre = indexed[240 * 640 + 320];
        // Red in front with the depth buffer; without, the farther one over it in the
        // scene's purple, which has blue.
        EXPECT_EQ((centre & 0xFF) != 0, !depth) << std::hex << centre;
        EXPECT_GE(centre >> 16, 0x80u) << std::hex << centre;
        // Later frames allocate nothing.
        Object3D* const both[] = {near, far};
        testing_support::StartCountingAllocations();
        for (int i = 0; i < 3; ++i)
            PresentFrame(nullptr, both, 2);
        EXPECT_EQ(testing_support::StopCountingAllocations(), 0);
        near->drawIndexed = far->drawIndexed = false;
        EXPECT_TRUE(Frame({near, far}) == indexed);
        delete near;
        delete far;
        CloseGame();
    }
}

// The calls only a game makes report their failures as their neighbours do.
TEST_F(Game3D, GameOnlyFailuresAreReported) {
    struct Site {
        const char* op;
        int nth;
        HRESULT code;
        std::string report;
        bool drawn;  // fails while drawing rather than while setting up
    } sites[] = {
#define DD(code, file, line) code, DirectDrawReport(#code, file, line)
#define D3D(code, file, line) code, Direct3DReport(#code, file, line)
        {"IDirectDraw4::CreateSurface", 3, DD(DDERR_OUTOFVIDEOMEMORY, "directx", 84), false},
        {"IDirectDrawSurface4::AddAttachedSurface", 1, DD(DDERR_CANNOTATTACHSURFACE, "directx", 86),
         false},
        {"IDirect3DDevice3::SetRenderState", 2, D3D(D3DERR_ZBUFFER_NOTPRESENT, "directx", 381),
         false},
        {"IDirect3D3::CreateMaterial", 2, D3D(D3DERR_MATERIAL_CREATE_FAILED, "object3d", 190),
         false},
        {"IDirect3DMaterial3::SetMaterial", 2, D3D(D3DERR_MATERIAL_SETDATA_FAILED, "object3d", 192),
         false},
        {"IDirect3DMaterial3::GetHandle", 2, D3D(D3DERR_INVALIDCURRENTVIEWPORT, "object3d", 194),
         false},
        {"IDirect3DDevice3::SetLightState", 3, D3D(D3DERR_LIGHT_SET_FAILED, "object3d", 172), true},
        {"IDirect3DDevice3::DrawIndexedPrimitive", 1,
         D3D(D3DERR_INVALIDVERTEXTYPE, "object3d", 170), true},
        {"IDirect3DDevice3::SetLightState", 4, D3D(D3DERR_LIGHT_SET_FAILED, "object3d", 174), true},
#undef DD
#undef D3D
    };
    for (const Site& site : sites) {
        SCOPED_TRACE(site.report);
        fatalErrorOccurred = 0;
        fatalMessage[0] = '\0';
        platform::ResetHooks();
        platform::FailCall(site.op, site.nth, site.code);
        if (OpenGame(window_, 640, 480, GameOptions{true})) {
            Object3D* square = LoadObject("small.xxx", 0, 0, 0);
            ASSERT_NE(square, nullptr);
            EXPECT_EQ(square->SetColor(0.5f, 1, 0), site.drawn ? 1 : 0);
            if (site.drawn) {
                EXPECT_EQ(PresentFrame(nullptr, &square, 1), 0);
            }
            delete square;
        }
        EXPECT_EQ(std::string(fatalMessage), site.report);
        CloseGame();
    }
}

// Flat normals give each face three vertices of its own: a mesh whose flat form would pass
// the 16-bit vertex count is refused with the reason; smooth normals take it, drawn in calls
// of at most 65,535 indices.
TEST_F(Game3D, FlatNormalsStayWithinSixteenBitVertexCounts) {
    ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    for (int faces : {21845, 21846}) {
        std::string mesh = "3\n0 0 0\n1 0 0\n0 1 0\n-\n" + std::to_string(faces) + "\n";
        for (int j = 0; j < faces; ++j)
            mesh += "0 2 1\n";
        WriteFile("many.xxx", mesh);
        Object3D* flat = LoadObject("many.xxx", 0, 0, 0, MeshNormals::Flat);
        EXPECT_EQ(flat != nullptr, faces == 21845);
        if (!flat) {
            EXPECT_STREQ(LastLoadError(),
                         "many.xxx: too many faces for flat normals (at most 21845)");
        }
        delete flat;
        Object3D* smooth = LoadObject("many.xxx", 0, 0, 0, MeshNormals::Smooth);
        ASSERT_NE(smooth, nullptr);
        EXPECT_EQ(smooth->indexCount, 3u * faces);
        platform::ResetHooks();
        platform::CountCalls();
        EXPECT_EQ(PresentFrame(nullptr, &smooth, 1), 1) << fatalMessage;
        EXPECT_EQ(platform::CallCount("IDirect3DDevice3::DrawIndexedPrimitive"),
                  faces == 21845 ? 1 : 2);
        // A new mesh read into the object brings its own indices.
        const std::string square = Square(40);
        ASSERT_EQ(ParseMesh(smooth, square.data(), square.size(), "square"), 1);
        EXPECT_EQ(smooth->indexCount, 6u);
        EXPECT_EQ(PresentFrame(nullptr, &smooth, 1), 1) << fatalMessage;
        EXPECT_EQ(platform::CallCount("IDirect3DDevice3::DrawIndexedPrimitive"),
                  faces == 21845 ? 2 : 3);
        delete smooth;
    }
}
