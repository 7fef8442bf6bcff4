// A game's own 3D through the real software device: square pixels, materials, the depth
// buffer, indexed drawing, and the reports of the calls only a game makes.
#include <algorithm>
#include <string>
#include <vector>

#include "directx/game.h"
#include "support/alloc_counter.h"
#include "support/display_support.h"

using testing_support::Direct3DReport;
using testing_support::DirectDrawReport;

namespace {

// A square of side 2h in the plane z = 0, its faces clockwise seen from +z.
std::string Square(int h) {
    const std::string a = std::to_string(h), b = std::to_string(-h);
    return "4\n" + b + " " + b + " 0\n" + a + " " + b + " 0\n" + a + " " + a + " 0\n" + b + " " +
           a + " 0\n-\n2\n0 1 2\n0 2 3\n";
}

class Game3D : public testing_support::DisplayTest {
protected:
    void SetUp() override {
        DisplayTest::SetUp();
        platform::InstallProfile(platform::ProductionProfile());
        testing_support::WriteFile("small.xxx", Square(20));
        testing_support::WriteFile("large.xxx", Square(40));
    }
    void TearDown() override {
        CloseGame();
        DisplayTest::TearDown();
    }
    // A frame seen from (0, 0, 200) towards the origin (the look-at gives that view for a
    // camera at (0, 0, -200)); the screen's 640 x 480 picture after it.
    std::vector<uint32_t> Frame(std::vector<Object3D*> objects) {
        Object3D target(nullptr, 0, 0, 0), camera(nullptr, 0, 0, -200);
        camera.target = &target;
        EXPECT_EQ(PresentFrame(&camera, objects.data(), static_cast<unsigned>(objects.size())), 1);
        std::vector<uint32_t> out;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                out.push_back(backend_->Screen()[y * backend_->ScreenWidth() + x] & 0xFFFFFF);
        return out;
    }
};

}  // namespace

// Seen head-on a square covers as many rows as columns; its normals face the camera: the
// default culling keeps it and the light in front adds to the ambient 0x80.
TEST_F(Game3D, ASquareIsAsTallAsItIsWideAndLitFromTheFront) {
    ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    Object3D* square = LoadObject("small.xxx", 0, 0, 0, MeshNormals::Flat);
    const std::vector<uint32_t> picture = Frame({square});
    std::vector<bool> rows(480), columns(640);
    for (int i = 0; i < 640 * 480; ++i)
        if (picture[i])
            rows[i / 640] = columns[i % 640] = true;
    EXPECT_GT(std::count(columns.begin(), columns.end(), true), 100);
    EXPECT_NEAR(std::count(rows.begin(), rows.end(), true),
                std::count(columns.begin(), columns.end(), true), 1);
    EXPECT_GT(picture[240 * 640 + 320] >> 16, 0x90u);
    delete square;
}

// The nearer square red, the farther in the scene's purple, the nearer drawn first: the
// depth buffer keeps it in front, without one the farther covers it. The expanded lists
// draw what the indexed calls draw, and frames allocate nothing.
TEST_F(Game3D, MaterialsDepthAndIndexedDrawing) {
    for (bool depth : {false, true}) {
        ASSERT_EQ(OpenGame(window_, 640, 480, GameOptions{depth}), 1);
        Object3D* both[] = {LoadObject("small.xxx", 0, 0, 0), LoadObject("large.xxx", 0, 0, -50)};
        ASSERT_EQ(both[0]->SetColor(1, 0, 0), 1);
        const std::vector<uint32_t> indexed = Frame({both[0], both[1]});
        EXPECT_GE(indexed[240 * 640 + 320] >> 16, 0x80u);
        EXPECT_EQ((indexed[240 * 640 + 320] & 0xFF) != 0, !depth);
        testing_support::StartCountingAllocations();
        PresentFrame(nullptr, both, 2);
        EXPECT_EQ(testing_support::StopCountingAllocations(), 0);
        both[0]->drawIndexed = both[1]->drawIndexed = false;
        EXPECT_TRUE(Frame({both[0], both[1]}) == indexed);
        delete both[0];
        delete both[1];
        CloseGame();
    }
}

// The calls only a game makes report their failures as their neighbours do.
TEST_F(Game3D, GameOnlyFailuresAreReported) {
#define DD(op, nth, code, line) \
    { op, nth, code, DirectDrawReport(#code, "directx", line), false }
#define D3D(op, nth, code, file, line, drawn) \
    { op, nth, code, Direct3DReport(#code, file, line), drawn }
    const struct {
        const char* op;
        int nth;
        HRESULT code;
        std::string report;
        bool drawn;  // fails in the frame rather than in the set-up
    } sites[] = {
        DD("IDirectDraw4::CreateSurface", 3, DDERR_OUTOFVIDEOMEMORY, 84),
        DD("IDirectDrawSurface4::AddAttachedSurface", 1, DDERR_CANNOTATTACHSURFACE, 86),
        D3D("IDirect3DDevice3::SetRenderState", 2, D3DERR_ZBUFFER_NOTPRESENT, "directx", 381, 0),
        D3D("IDirect3D3::CreateMaterial", 2, D3DERR_MATERIAL_CREATE_FAILED, "object3d", 190, 0),
        D3D("IDirect3DMaterial3::SetMaterial", 2, D3DERR_MATERIAL_SETDATA_FAILED, "object3d", 192,
            0),
        D3D("IDirect3DMaterial3::GetHandle", 2, D3DERR_INVALIDCURRENTVIEWPORT, "object3d", 194, 0),
        D3D("IDirect3DDevice3::SetLightState", 3, D3DERR_LIGHT_SET_FAILED, "object3d", 172, 1),
        D3D("IDirect3DDevice3::DrawIndexedPrimitive", 1, D3DERR_INVALIDVERTEXTYPE, "object3d", 170,
            1),
        D3D("IDirect3DDevice3::SetLightState", 4, D3DERR_LIGHT_SET_FAILED, "object3d", 174, 1),
    };
    for (const auto& site : sites) {
        SCOPED_TRACE(site.report);
        fatalMessage[0] = '\0';
        platform::ResetHooks();
        platform::FailCall(site.op, site.nth, site.code);
        if (OpenGame(window_, 640, 480, GameOptions{true})) {
            Object3D* square = LoadObject("small.xxx", 0, 0, 0);
            EXPECT_EQ(square->SetColor(0.5f, 1, 0), site.drawn ? 1 : 0);
            EXPECT_EQ(site.drawn ? PresentFrame(nullptr, &square, 1) : 0, 0);
            delete square;
        }
        EXPECT_EQ(std::string(fatalMessage), site.report);
        CloseGame();
        fatalErrorOccurred = 0;
    }
}

// Flat normals triple the vertices: a mesh whose flat form would pass 65,535 is refused;
// smooth normals take it, drawn in calls of at most 65,535 indices. A new mesh read into
// the object brings its own indices.
TEST_F(Game3D, FlatNormalsStayWithinSixteenBitVertexCounts) {
    ASSERT_EQ(OpenGame(window_, 640, 480), 1);
    for (int faces : {21845, 21846}) {
        std::string mesh = "3\n0 0 0\n1 0 0\n0 1 0\n-\n" + std::to_string(faces) + "\n";
        for (int j = 0; j < faces; ++j)
            mesh += "0 2 1\n";
        testing_support::WriteFile("many.xxx", mesh);
        Object3D* flat = LoadObject("many.xxx", 0, 0, 0, MeshNormals::Flat);
        EXPECT_EQ(flat != nullptr, faces == 21845);
        EXPECT_STREQ(flat ? "" : LastLoadError(),
                     flat ? "" : "many.xxx: too many faces for flat normals (at most 21845)");
        delete flat;
        Object3D* smooth = LoadObject("many.xxx", 0, 0, 0, MeshNormals::Smooth);
        platform::CountCalls();
        EXPECT_EQ(PresentFrame(nullptr, &smooth, 1), 1);
        const std::string square = Square(20);
        ASSERT_EQ(ParseMesh(smooth, square.data(), square.size(), "square"), 1);
        EXPECT_EQ(smooth->indexCount, 6u);
        EXPECT_EQ(PresentFrame(nullptr, &smooth, 1), 1);
        EXPECT_EQ(platform::CallCount("IDirect3DDevice3::DrawIndexedPrimitive"),
                  faces == 21845 ? 2 : 3);
        platform::ResetHooks();
        delete smooth;
    }
}
