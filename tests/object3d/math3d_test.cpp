#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "object3d/math3d.h"

namespace {

// Rows of a matrix as written in the worked examples.
void ExpectRows(const Matrix4& m, const float (&rows)[4][4]) {
    const float* e = &m._11;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(e[r * 4 + c], rows[r][c]) << "element _" << r + 1 << c + 1;
}

// The same, for examples printed to a given number of decimals: each element must round to
// the printed value (half a unit of the last decimal, plus the float's own spacing).
void ExpectRowsNear(const Matrix4& m, const float (&rows)[4][4], double halfUnit) {
    const float* e = &m._11;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(e[r * 4 + c], rows[r][c], halfUnit + 1.2e-7 * std::fabs(rows[r][c]))
                << "element _" << r + 1 << c + 1;
}

bool IsIdentity(const Matrix4& m) {
    const float* e = &m._11;
    for (int i = 0; i < 16; ++i)
        if (e[i] != (i % 5 == 0 ? 1.0f : 0.0f))
            return false;
    return true;
}

Matrix4 Filled(float v) {
    Matrix4 m;
    float* e = &m._11;
    for (int i = 0; i < 16; ++i)
        e[i] = v;
    return m;
}

TEST(Math3D, WorldUpIsSetBeforeAnyCode) {
    EXPECT_EQ(WorldUp.x, 0.0f);
    EXPECT_EQ(WorldUp.y, 1.0f);
    EXPECT_EQ(WorldUp.z, 0.0f);
}

TEST(Math3D, TablesUseTheTenDigitPiFactor) {
    EXPECT_EQ(SinTable[90], 0.0);  // empty until built
    BuildTrigTables();
    EXPECT_EQ(SinTable[0], 0.0);
    EXPECT_EQ(CosTable[0], 1.0);
    EXPECT_EQ(SinTable[90], 1.0);
    EXPECT_NEAR(CosTable[90], -2.051e-10, 0.001e-10);
    EXPECT_NEAR(SinTable[180], -4.102e-10, 0.001e-10);
    EXPECT_NEAR(SinTable[359], -0.0174524, 1e-7);
    EXPECT_NEAR(CosTable[359], 0.9998477, 1e-7);
}

TEST(Math3D, RotationBuildersOverwriteEveryElement) {
    BuildTrigTables();
    Matrix4 m = Filled(7.0f);
    RotationXMatrix(m, 0);
    EXPECT_TRUE(IsIdentity(m));
    m = Filled(7.0f);
    RotationYMatrix(m, 0);
    EXPECT_TRUE(IsIdentity(m));
    m = Filled(7.0f);
    RotationZMatrix(m, 0);
    EXPECT_TRUE(IsIdentity(m));

    const float c90 = static_cast<float>(CosTable[90]);
    EXPECT_NEAR(c90, -2.051e-10f, 0.001e-10f);
    m = Filled(7.0f);
    RotationZMatrix(m, 90);
    ExpectRows(m, {{c90, 1, 0, 0}, {-1, c90, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}});

    m = Filled(7.0f);
    RotationYMatrix(m, 45);
    const float r = 0.70710677f;
    ExpectRows(m, {{r, 0, -r, 0}, {0, 1, 0, 0}, {r, 0, r, 0}, {0, 0, 0, 1}});

    m = Filled(7.0f);
    RotationXMatrix(m, 30);
    const float s30 = static_cast<float>(SinTable[30]), c30 = static_cast<float>(CosTable[30]);
    ExpectRows(m, {{1, 0, 0, 0}, {0, c30, s30, 0}, {0, -s30, c30, 0}, {0, 0, 0, 1}});

    m = Filled(7.0f);
    TranslationMatrix(m, 0, 0, 200);
    ExpectRows(m, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 200, 1}});
}

TEST(Math3D, ProductTranslatesFirstAndRoundsOnce) {
    BuildTrigTables();
    Matrix4 t, r;
    TranslationMatrix(t, 3.0f, -2.0f, 5.0f);
    RotationYMatrix(r, 30);
    Matrix4 p = MatrixMultiply(t, r);
    const float* pe = &p._11;
    const float* re = &r._11;
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(pe[i], re[i]);
    // Fourth row: the point (3, -2, 5) turned by R, each sum rounded once from double.
    const double x = 3, y = -2, z = 5;
    EXPECT_EQ(p._41, static_cast<float>(x * r._11 + y * r._21 + z * r._31 + 1.0 * r._41));
    EXPECT_EQ(p._42, static_cast<float>(x * r._12 + y * r._22 + z * r._32 + 1.0 * r._42));
    EXPECT_EQ(p._43, static_cast<float>(x * r._13 + y * r._23 + z * r._33 + 1.0 * r._43));
    EXPECT_EQ(p._44, 1.0f);

    // Rounding once: in floats 1 + 1e-8 would lose the small term before the - 1.
    Matrix4 a, b;
    IdentityMatrix(a);
    IdentityMatrix(b);
    a._11 = 1.0f, a._12 = 1e-8f, a._13 = -1.0f;
    b._11 = 1.0f, b._21 = 1.0f, b._31 = 1.0f;
    EXPECT_EQ(MatrixMultiply(a, b)._11, 1e-8f);

    // The product may be stored over an operand.
    Matrix4 q = t;
    q = MatrixMultiply(q, r);
    EXPECT_EQ(std::memcmp(&q, &p, sizeof q), 0);
}

TEST(LookAt, SceneCameraLooksAlongTheZAxis) {
    Matrix4 m;
    ASSERT_EQ(LookAtMatrix(m, Vec3(0, 0, 200), Vec3(0, 0, 0), Vec3(0, 1, 0)), S_OK);
    ExpectRows(m, {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 200, 1}});
}

TEST(LookAt, WorkedDirections) {
    Matrix4 m;
    ASSERT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(1, 0, 1), Vec3(0, 1, 0)), S_OK);
    const float h = 0.7071068f;
    ExpectRowsNear(m, {{-h, 0, h, 0}, {0, 1, 0, 0}, {-h, 0, -h, 0}, {0, 0, 0, 1}}, 0.5e-7);

    ASSERT_EQ(LookAtMatrix(m, Vec3(1, 2, 3), Vec3(4, -2, 7), Vec3(0, 1, 0)), S_OK);
    ExpectRowsNear(m,
                   {{-0.8f, 0.374817f, 0.4685213f, 0},
                    {0, 0.7808688f, -0.624695f, 0},
                    {-0.6f, 0.499756f, -0.624695f, 0},
                    {1.0f, -3.435823f, -1.093216f, 1}},
                   0.5e-6);
    // The unit up and view vectors carry seven decimals.
    EXPECT_NEAR(m._13, 0.4685213, 0.5e-7 + 6e-8);
    EXPECT_NEAR(m._22, 0.7808688, 0.5e-7 + 6e-8);
}

TEST(LookAt, FallbackUpDirections) {
    Matrix4 m;
    // Looking straight up: up and the y axis both vanish, the z axis serves.
    ASSERT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(0, 5, 0), Vec3(0, 1, 0)), S_OK);
    ExpectRows(m, {{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}, {0, 0, 0, 1}});
    // No up given: the y axis serves.
    ASSERT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(0, 0, 5), Vec3(0, 0, 0)), S_OK);
    ExpectRows(m, {{-1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, -1, 0}, {0, 0, 0, 1}});
}

TEST(LookAt, CoincidentPointsLeaveTheMatrixUntouched) {
    Matrix4 m = Filled(3.0f);
    Matrix4 before = m;
    EXPECT_EQ(LookAtMatrix(m, Vec3(1, 2, 3), Vec3(1, 2, 3), Vec3(0, 1, 0)), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    // Closer than the threshold (compared before rounding) also fails; at it, not.
    EXPECT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(0, 0, 9.9e-7f), Vec3(0, 1, 0)), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
    EXPECT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(0, 0, 1e-6f), Vec3(0, 1, 0)), S_OK);
    // A direction that is not a number fails as well.
    m = before;
    EXPECT_EQ(LookAtMatrix(m, Vec3(0, 0, 0), Vec3(NAN, 0, 1), Vec3(0, 1, 0)), E_INVALIDARG);
    EXPECT_EQ(std::memcmp(&m, &before, sizeof m), 0);
}

}  // namespace
