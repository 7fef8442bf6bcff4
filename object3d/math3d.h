// Vectors, matrices, the whole-degree sine and cosine tables and the world's up vector.
// Points are row vectors (p' = p x M), so in A x B the transformation A applies first.
#pragma once

#include "platform/d3d.h"

struct Vec3 : D3DVECTOR {
    Vec3() : D3DVECTOR{0.0f, 0.0f, 0.0f} {}
    Vec3(float x_, float y_, float z_) : D3DVECTOR{x_, y_, z_} {}
};

// Sixteen floats, row-major, _rc = row r, column c: the device's own matrix layout, so a
// Matrix4 is handed to SetTransform as it is.
struct Matrix4 : D3DMATRIX {};

double SquaredLength(const Vec3& v);
double DotProduct(const Vec3& a, const Vec3& b);

void IdentityMatrix(Matrix4& m);
void TranslationMatrix(Matrix4& m, float x, float y, float z);
void RotationXMatrix(Matrix4& m, int degrees);
void RotationYMatrix(Matrix4& m, int degrees);
void RotationZMatrix(Matrix4& m, int degrees);
Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b);

// Sine and cosine of every whole degree 0..359, filled once by BuildTrigTables.
extern double SinTable[360];
extern double CosTable[360];
void BuildTrigTables();

extern Vec3 WorldUp;  // (0, 1, 0), set before the entry code runs

// View matrix of a camera at `eye` looking at `at`, keeping `up` as upright as it can.
// Returns S_OK, or E_INVALIDARG (leaving m untouched) when eye and at coincide or no up
// direction can be formed.
HRESULT LookAtMatrix(Matrix4& m, const Vec3& eye, const Vec3& at, const Vec3& up);
