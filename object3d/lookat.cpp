// The camera's view matrix from an eye point, a target point and a preferred up direction.
#include <cmath>

#include "object3d/math3d.h"

namespace {

// The threshold below which a length counts as zero: the float 1e-6, compared with the
// length before it is rounded to float.
constexpr double Tiny = static_cast<double>(1e-6f);

double Length(const Vec3& v) {
    return std::sqrt(SquaredLength(v));
}

Vec3 Scaled(const Vec3& v, double divisor) {
    return Vec3(static_cast<float>(v.x / divisor), static_cast<float>(v.y / divisor),
                static_cast<float>(v.z / divisor));
}

// base - k * v, per component, rounded to float.
Vec3 Reject(double bx, double by, double bz, double k, const Vec3& v) {
    return Vec3(static_cast<float>(bx - k * v.x), static_cast<float>(by - k * v.y),
                static_cast<float>(bz - k * v.z));
}

}  // namespace

HRESULT LookAtMatrix(Matrix4& m, const Vec3& eye, const Vec3& at, const Vec3& up) {
    Vec3 view(at.x - eye.x, at.y - eye.y, at.z - eye.z);
    double len = Length(view);
    if (len < Tiny || std::isnan(len))
        return E_INVALIDARG;
    view = Scaled(view, len);

    // The part of `up` perpendicular to the view; when that vanishes, try the y axis and
    // then the z axis instead. A length that is not a number is let through.
    Vec3 candidate = Reject(up.x, up.y, up.z, DotProduct(up, view), view);
    double candidateLength = Length(candidate);
    if (candidateLength < Tiny) {
        candidate = Reject(0.0, 1.0, 0.0, view.y, view);
        candidateLength = Length(candidate);
    }
    if (candidateLength < Tiny) {
        candidate = Reject(0.0, 0.0, 1.0, view.z, view);
        candidateLength = Length(candidate);
    }
    if (candidateLength < Tiny)
        return E_INVALIDARG;
    Vec3 u = Scaled(candidate, candidateLength);

    double ux = u.x, uy = u.y, uz = u.z;
    double vx = view.x, vy = view.y, vz = view.z;
    Vec3 right(static_cast<float>(uy * vz - uz * vy), static_cast<float>(uz * vx - ux * vz),
               static_cast<float>(ux * vy - uy * vx));

    IdentityMatrix(m);
    m._11 = -right.x;
    m._12 = u.x;
    m._13 = view.x;
    m._21 = right.y;
    m._22 = u.y;
    m._23 = view.y;
    m._31 = right.z;
    m._32 = u.z;
    m._33 = -view.z;
    m._41 = static_cast<float>(-DotProduct(eye, right));
    m._42 = static_cast<float>(-DotProduct(eye, u));
    m._43 = static_cast<float>(-DotProduct(eye, view));
    return S_OK;
}
