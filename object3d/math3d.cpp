// Vector and matrix helpers, the whole-degree sine and cosine tables and the world's up
// vector. Sums and products are taken at double precision and rounded to float once, when
// they are stored.
#include "object3d/math3d.h"

#include <cmath>
#include <cstring>

// Set by static initialisation, before any entry code runs; nothing writes it afterwards.
Vec3 WorldUp(0.0f, 1.0f, 0.0f);

double SinTable[360];
double CosTable[360];

namespace {

// Pi to ten significant digits over 180. Not the exact radian factor: cos 90 comes out as
// about -2.051e-10 instead of 0, and the rotations built from the tables carry that.
constexpr double DegreeFactor = 0.017453292522222223;

}  // namespace

void BuildTrigTables() {
    for (int i = 0; i < 360; ++i)
        SinTable[i] = std::sin(i * DegreeFactor);
    for (int i = 0; i < 360; ++i)
        CosTable[i] = std::cos(i * DegreeFactor);
}

double SquaredLength(const Vec3& v) {
    double x = v.x, y = v.y, z = v.z;
    return x * x + y * y + z * z;
}

double DotProduct(const Vec3& a, const Vec3& b) {
    return static_cast<double>(a.x) * b.x + static_cast<double>(a.y) * b.y +
           static_cast<double>(a.z) * b.z;
}

void IdentityMatrix(Matrix4& m) {
    m._11 = 1.0f, m._12 = 0.0f, m._13 = 0.0f, m._14 = 0.0f;
    m._21 = 0.0f, m._22 = 1.0f, m._23 = 0.0f, m._24 = 0.0f;
    m._31 = 0.0f, m._32 = 0.0f, m._33 = 1.0f, m._34 = 0.0f;
    m._41 = 0.0f, m._42 = 0.0f, m._43 = 0.0f, m._44 = 1.0f;
}

void TranslationMatrix(Matrix4& m, float x, float y, float z) {
    IdentityMatrix(m);
    m._41 = x;
    m._42 = y;
    m._43 = z;
}

void RotationXMatrix(Matrix4& m, int degrees) {
    IdentityMatrix(m);
    float c = static_cast<float>(CosTable[degrees]);
    float s = static_cast<float>(SinTable[degrees]);
    m._22 = c;
    m._23 = s;
    m._32 = -s;
    m._33 = c;
}

void RotationYMatrix(Matrix4& m, int degrees) {
    IdentityMatrix(m);
    float c = static_cast<float>(CosTable[degrees]);
    float s = static_cast<float>(SinTable[degrees]);
    m._11 = c;
    m._13 = -s;
    m._31 = s;
    m._33 = c;
}

void RotationZMatrix(Matrix4& m, int degrees) {
    IdentityMatrix(m);
    float c = static_cast<float>(CosTable[degrees]);
    float s = static_cast<float>(SinTable[degrees]);
    m._11 = c;
    m._12 = s;
    m._21 = -s;
    m._22 = c;
}

Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b) {
    // Built in a separate matrix, so the caller may store the result over either operand.
    float ar[4][4], br[4][4], out[4][4];
    static_assert(sizeof(Matrix4) == sizeof(out));
    std::memcpy(ar, &a, sizeof ar);
    std::memcpy(br, &b, sizeof br);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(ar[r][k]) * br[k][c];
            out[r][c] = static_cast<float>(sum);
        }
    }
    Matrix4 product;
    std::memcpy(&product, out, sizeof out);
    return product;
}
