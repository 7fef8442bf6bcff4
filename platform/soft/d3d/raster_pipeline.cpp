// The geometry half of the software pipeline: world x view x projection, lighting in world
// space, clip codes, clipping of the triangles that cross the clip volume, viewport mapping
// and back-face culling before anything reaches the rasteriser.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/soft/d3d/raster.h"

namespace platform::raster {

// A vertex after transform: clip-space position, lit colour (0..255), and the clip
// planes it lies outside of.
struct Pipeline::Vertex {
    float x, y, z, w;
    float r, g, b;
    uint32_t code;
    const void* source;  // the vertex record, for lighting on demand
};

struct Pipeline::CacheEntry {
    uint64_t key[3];   // the record's first 24 bytes (position and normal or colours), or
                       // the index of an indexed draw
    uint32_t stamp;    // the call that filled it; 0: never filled
    int32_t sx, sy;    // screen position (28.4) when v.code is 0
    float sz;          // and depth (with a depth test)
    int32_t fixed[3];  // v's colour in 8.16 fixed point, once lit
    bool lit;          // v's colour is set
    Vertex v;
};

namespace {

constexpr int kPlanes = 7;
constexpr float kMinW = 1e-6f;
constexpr uint32_t kNotFinite = 0x80000000u;
// A polygon clipped by kPlanes planes from a triangle has at most 3 + kPlanes vertices.
constexpr int kMaxPolygon = 3 + kPlanes;

D3DMATRIX Identity() {
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    const float* x = &a._11;
    const float* y = &b._11;
    D3DMATRIX r;
    float* o = &r._11;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            o[i * 4 + j] = x[i * 4 + 0] * y[0 * 4 + j] + x[i * 4 + 1] * y[1 * 4 + j] +
                           x[i * 4 + 2] * y[2 * 4 + j] + x[i * 4 + 3] * y[3 * 4 + j];
    return r;
}

// The point the view matrix maps to the origin: the eye, in world space. Solves
// e * V = (0, 0, 0, 1) for e = (x, y, z, 1) by Cramer's rule on the upper 3x3.
void EyeOf(const D3DMATRIX& v, float* eye) {
    double m[3][3] = {{v._11, v._12, v._13}, {v._21, v._22, v._23}, {v._31, v._32, v._33}};
    double t[3] = {-v._41, -v._42, -v._43};
    // Row-vector system: sum_i e_i * m[i][j] = t_j.
    double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                 m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                 m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    if (std::fabs(det) < 1e-12) {
        eye[0] = eye[1] = eye[2] = 0;
        return;
    }
    for (int k = 0; k < 3; ++k) {
        double c[3][3];
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                c[i][j] = (i == k) ? t[j] : m[i][j];
        double d = c[0][0] * (c[1][1] * c[2][2] - c[1][2] * c[2][1]) -
                   c[0][1] * (c[1][0] * c[2][2] - c[1][2] * c[2][0]) +
                   c[0][2] * (c[1][0] * c[2][1] - c[1][1] * c[2][0]);
        eye[k] = static_cast<float>(d / det);
    }
}

float Clamp01(float v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

// Nearest integer, halves upward; the values are screen positions within the viewport.
int32_t RoundToInt(float v) {
    float h = v + 0.5f;
    if (!(h > -1e9f && h < 1e9f))
        return 0;  // never for a clipped point; keeps the conversion defined
    int32_t i = static_cast<int32_t>(h);
    return i - (h < static_cast<float>(i) ? 1 : 0);
}

int32_t ToFixedColour(float c255) {
    // Round to the nearest 8-bit level, then to 8.16 fixed point.
    if (!(c255 > 0))
        return 0;  // also NaN
    if (c255 >= 255)
        return 255 << 16;
    return static_cast<int32_t>(c255 + 0.5f) << 16;
}

}  // namespace

Pipeline::Pipeline()
    : world_(Identity()),
      view_(Identity()),
      projection_(Identity()),
      combined_(Identity()),
      cache_(new CacheEntry[kCacheSize]()),
      index_(new uint16_t[kIndexSize]()) {}

Pipeline::~Pipeline() = default;

void Pipeline::SetWorld(const D3DMATRIX& m) {
    world_ = m;
    dirty_ = true;
}
void Pipeline::SetView(const D3DMATRIX& m) {
    view_ = m;
    dirty_ = true;
}
void Pipeline::SetProjection(const D3DMATRIX& m) {
    projection_ = m;
    dirty_ = true;
}

void Pipeline::SetMaterial(const MaterialState* material) {
    lighting_ = material != nullptr;
    if (material)
        material_ = *material;
}

void Pipeline::SetLights(const LightState* lights, int count) {
    lightCount_ = std::min(count, kMaxLights);
    for (int i = 0; i < lightCount_; ++i)
        lights_[i] = lights[i];
}

void Pipeline::UpdateMatrices() {
    if (!dirty_)
        return;
    combined_ = Multiply(Multiply(world_, view_), projection_);
    EyeOf(view_, eye_);
    dirty_ = false;
}

// The lit colour of one vertex: ambient x material ambient + emissive + for every active
// light its attenuated diffuse share; specular only when enabled. Computed in world space.
void Pipeline::Light(const D3DVERTEX& in, Vertex* out) const {
    if (!lighting_) {
        out->r = out->g = out->b = 255.0f;
        return;
    }
    const D3DMATRIX& w = world_;
    const float px = in.x * w._11 + in.y * w._21 + in.z * w._31 + w._41;
    const float py = in.x * w._12 + in.y * w._22 + in.z * w._32 + w._42;
    const float pz = in.x * w._13 + in.y * w._23 + in.z * w._33 + w._43;
    const float nx = in.nx * w._11 + in.ny * w._21 + in.nz * w._31;
    const float ny = in.nx * w._12 + in.ny * w._22 + in.nz * w._32;
    const float nz = in.nx * w._13 + in.ny * w._23 + in.nz * w._33;

    const MaterialState& m = material_;
    float d[3] = {base_[0], base_[1], base_[2]};
    float s[3] = {0, 0, 0};
    const bool wantSpecular = specular_ && m.power > 0;

    for (int i = 0; i < lightCount_; ++i) {
        const LightState& l = lights_[i];
        if (!l.active)
            continue;
        float lx, ly, lz, att = 1;
        if (l.type == D3DLIGHT_DIRECTIONAL) {
            lx = -l.direction[0];
            ly = -l.direction[1];
            lz = -l.direction[2];
            float len = std::sqrt(lx * lx + ly * ly + lz * lz);
            if (len <= 0)
                continue;
            lx /= len;
            ly /= len;
            lz /= len;
        } else {
            lx = l.position[0] - px;
            ly = l.position[1] - py;
            lz = l.position[2] - pz;
            float dist = std::sqrt(lx * lx + ly * ly + lz * lz);
            if (dist > l.range || dist <= 0)
                continue;
            const float inv = 1.0f / dist;
            lx *= inv;
            ly *= inv;
            lz *= inv;
            float dn = (l.range - dist) * invRange_[i];
            att = l.attenuation[0] + l.attenuation[1] * dn + l.attenuation[2] * dn * dn;
            if (l.type == D3DLIGHT_SPOT) {
                // Full inside the inner cone, nothing outside the outer one, linear between.
                float dlen =
                    std::sqrt(l.direction[0] * l.direction[0] + l.direction[1] * l.direction[1] +
                              l.direction[2] * l.direction[2]);
                if (dlen <= 0)
                    continue;
                float cosA =
                    -(lx * l.direction[0] + ly * l.direction[1] + lz * l.direction[2]) / dlen;
                float cosPhi = std::cos(l.phi * 0.5f), cosTheta = std::cos(l.theta * 0.5f);
                if (cosA <= cosPhi)
                    continue;
                if (cosA < cosTheta && cosTheta > cosPhi)
                    att *= (cosA - cosPhi) / (cosTheta - cosPhi);
            }
        }
        const float ndotl = Clamp01(nx * lx + ny * ly + nz * lz);
        const float k = att * ndotl;
        d[0] += k * m.diffuse.r * l.colour[0];
        d[1] += k * m.diffuse.g * l.colour[1];
        d[2] += k * m.diffuse.b * l.colour[2];
        if (wantSpecular && l.specular) {
            float ex = eye_[0] - px, ey = eye_[1] - py, ez = eye_[2] - pz;
            float elen = std::sqrt(ex * ex + ey * ey + ez * ez);
            if (elen > 0) {
                ex = ex / elen + lx;
                ey = ey / elen + ly;
                ez = ez / elen + lz;
                float hlen = std::sqrt(ex * ex + ey * ey + ez * ez);
                if (hlen > 0) {
                    float ndoth = Clamp01((nx * ex + ny * ey + nz * ez) / hlen);
                    float rs = att * std::pow(ndoth, m.power);
                    s[0] += rs * m.specular.r * l.colour[0];
                    s[1] += rs * m.specular.g * l.colour[1];
                    s[2] += rs * m.specular.b * l.colour[2];
                }
            }
        }
    }
    out->r = Clamp01(Clamp01(d[0]) + Clamp01(s[0])) * 255.0f;
    out->g = Clamp01(Clamp01(d[1]) + Clamp01(s[1])) * 255.0f;
    out->b = Clamp01(Clamp01(d[2]) + Clamp01(s[2])) * 255.0f;
}

// A colour the vertex gives (D3DLVERTEX, D3DTLVERTEX): the diffuse colour, and with
// specular highlights on the specular one added, each channel at most 255.
void Pipeline::Colour(D3DCOLOR diffuse, D3DCOLOR specular, Vertex* out) const {
    float c[3] = {static_cast<float>((diffuse >> 16) & 0xFF),
                  static_cast<float>((diffuse >> 8) & 0xFF), static_cast<float>(diffuse & 0xFF)};
    if (specular_) {
        c[0] = std::min(c[0] + static_cast<float>((specular >> 16) & 0xFF), 255.0f);
        c[1] = std::min(c[1] + static_cast<float>((specular >> 8) & 0xFF), 255.0f);
        c[2] = std::min(c[2] + static_cast<float>(specular & 0xFF), 255.0f);
    }
    out->r = c[0];
    out->g = c[1];
    out->b = c[2];
}

void Pipeline::ToScreen(const Vertex& v, ScreenVertex* out) const {
    const float inv = 1.0f / v.w;
    const float sx = v.x * inv * scaleX_ + offsetX_;
    const float sy = v.y * inv * scaleY_ + offsetY_;
    out->x = RoundToInt(sx * 16.0f);
    out->y = RoundToInt(sy * 16.0f);
    out->z = std::min(std::max((v.z * inv - viewport_.minZ) * depthScale_, 0.0f), 1.0f);
    out->r = ToFixedColour(v.r);
    out->g = ToFixedColour(v.g);
    out->b = ToFixedColour(v.b);
}

bool Pipeline::Culled(int64_t area2) const {
    if (cullMode_ == D3DCULL_CCW)
        return area2 < 0;
    if (cullMode_ == D3DCULL_CW)
        return area2 > 0;
    return false;
}

void Pipeline::SetDepth(const DepthBuffer* depth) {
    depthOn_ = depth != nullptr;
    if (depth)
        depth_ = *depth;
}

void Pipeline::Draw(VertexFormat format, Topology topology, const void* vertices, int vertexCount,
                    const uint16_t* indices, int count, const PixelBuffer& target) {
    (void)vertexCount;  // the caller has checked every index against it
    count = std::min(count, kMaxVertices);
    if (count < 3 || !vertices)
        return;
    switch (format) {
        case VertexFormat::Lit:
            if (indices)
                DrawStream<VertexFormat::Lit, true>(topology, vertices, indices, count, target);
            else
                DrawStream<VertexFormat::Lit, false>(topology, vertices, indices, count, target);
            break;
        case VertexFormat::PreLit:
            if (indices)
                DrawStream<VertexFormat::PreLit, true>(topology, vertices, indices, count, target);
            else
                DrawStream<VertexFormat::PreLit, false>(topology, vertices, indices, count, target);
            break;
        case VertexFormat::Transformed:
            if (indices)
                DrawStream<VertexFormat::Transformed, true>(topology, vertices, indices, count,
                                                            target);
            else
                DrawStream<VertexFormat::Transformed, false>(topology, vertices, indices, count,
                                                             target);
            break;
    }
}

template <VertexFormat F, bool Indexed>
void Pipeline::DrawStream(Topology topology, const void* vertices, const uint16_t* indices,
                          int count, const PixelBuffer& target) {
    switch (topology) {
        case Topology::List:
            if (depthOn_)
                DrawStream<F, Indexed, Topology::List, true>(vertices, indices, count, target);
            else
                DrawStream<F, Indexed, Topology::List, false>(vertices, indices, count, target);
            break;
        case Topology::Strip:
            if (depthOn_)
                DrawStream<F, Indexed, Topology::Strip, true>(vertices, indices, count, target);
            else
                DrawStream<F, Indexed, Topology::Strip, false>(vertices, indices, count, target);
            break;
        case Topology::Fan:
            if (depthOn_)
                DrawStream<F, Indexed, Topology::Fan, true>(vertices, indices, count, target);
            else
                DrawStream<F, Indexed, Topology::Fan, false>(vertices, indices, count, target);
            break;
    }
}

template <VertexFormat F, bool Indexed, Topology T, bool Depth>
void Pipeline::DrawStream(const void* vertices, const uint16_t* indices, int count,
                          const PixelBuffer& target) {
    UpdateMatrices();
    depthWritten_ = Scissor{0, 0, 0, 0};
    // Per-call lighting constants: ambient x material ambient + emissive, and 1 / range.
    const float ia[3] = {((ambient_ >> 16) & 0xFF) / 255.0f, ((ambient_ >> 8) & 0xFF) / 255.0f,
                         (ambient_ & 0xFF) / 255.0f};
    base_[0] = ia[0] * material_.ambient.r + material_.emissive.r;
    base_[1] = ia[1] * material_.ambient.g + material_.emissive.g;
    base_[2] = ia[2] * material_.ambient.b + material_.emissive.b;
    for (int i = 0; i < lightCount_; ++i)
        invRange_[i] = lights_[i].range > 0 ? 1.0f / lights_[i].range : 0.0f;
    const ViewportState& vp = viewport_;
    if (vp.clipWidth == 0 || vp.clipHeight == 0 || !(vp.maxZ > vp.minZ))
        return;
    Scissor scissor{std::max(vp.x, 0), std::max(vp.y, 0), std::min(vp.x + vp.width, target.width),
                    std::min(vp.y + vp.height, target.height)};
    if (scissor.x0 >= scissor.x1 || scissor.y0 >= scissor.y1)
        return;
    scaleX_ = vp.width / vp.clipWidth;
    offsetX_ = vp.x - vp.clipX * scaleX_;
    scaleY_ = -vp.height / vp.clipHeight;
    offsetY_ = vp.y + vp.clipY * vp.height / vp.clipHeight;
    depthScale_ = 1.0f / (vp.maxZ - vp.minZ);
    constexpr bool wantDepth = Depth;
    // The screen box of the vertices inside the clip volume (28.4), kept when depths are
    // written; a clipped triangle may write anywhere in the scissor.
    const bool trackWrites = Depth && depth_.write;
    int32_t boxX0 = INT32_MAX, boxY0 = INT32_MAX, boxX1 = INT32_MIN, boxY1 = INT32_MIN;
    bool clipped = false;

    const float left = vp.clipX, right = vp.clipX + vp.clipWidth;
    const float top = vp.clipY, bottom = vp.clipY - vp.clipHeight;
    const D3DMATRIX& m = combined_;

    // The cache's storage in locals: the stores of the loop below could alias the members
    // for all the compiler knows.
    CacheEntry* const cache = cache_.get();
    uint16_t* const ringIndex = index_.get();
    // A new stamp makes every cached vertex stale; when the stamps wrap, the entries are
    // emptied.
    if (++stamp_ == 0) {
        for (int i = 0; i < kCacheSize; ++i)
            cache[i].stamp = 0;
        stamp_ = 1;
    }
    // Transform, clip codes and, for a point inside the clip volume, its screen position and
    // depth. A vertex already on screen is taken back into clip space (w = 1 / rhw, or 1
    // without a usable rhw) so that it is clipped like any other; inside the volume its own
    // position and depth are used as they are.
    auto transform = [&](const void* record, CacheEntry& e) {
        Vertex& o = e.v;
        if constexpr (F == VertexFormat::Transformed) {
            const auto& src = *static_cast<const D3DTLVERTEX*>(record);
            const float w = src.rhw > 0 && src.rhw < 3e38f ? 1.0f / src.rhw : 1.0f;
            o.x = (src.sx - offsetX_) / scaleX_ * w;
            o.y = (src.sy - offsetY_) / scaleY_ * w;
            o.z = (vp.minZ + src.sz * (vp.maxZ - vp.minZ)) * w;
            o.w = w;
        } else {
            // D3DVERTEX and D3DLVERTEX both begin with the position.
            const auto& src = *static_cast<const D3DVERTEX*>(record);
            o.x = src.x * m._11 + src.y * m._21 + src.z * m._31 + m._41;
            o.y = src.x * m._12 + src.y * m._22 + src.z * m._32 + m._42;
            o.z = src.x * m._13 + src.y * m._23 + src.z * m._33 + m._43;
            o.w = src.x * m._14 + src.y * m._24 + src.z * m._34 + m._44;
        }
        uint32_t code = 0;
        code |= (o.x < left * o.w) ? 1u : 0u;
        code |= (o.x > right * o.w) ? 2u : 0u;
        code |= (o.y < bottom * o.w) ? 4u : 0u;
        code |= (o.y > top * o.w) ? 8u : 0u;
        code |= (o.z < vp.minZ * o.w) ? 16u : 0u;
        code |= (o.z > vp.maxZ * o.w) ? 32u : 0u;
        code |= (o.w < kMinW) ? 64u : 0u;
        // A vertex that is not a finite point (NaN or infinite input) takes its triangle
        // out.
        if (!std::isfinite(o.x + o.y + o.z + o.w))
            code = kNotFinite;
        o.code = code;
        o.source = record;
        if (code == 0) {
            if constexpr (F == VertexFormat::Transformed) {
                const auto& src = *static_cast<const D3DTLVERTEX*>(record);
                e.sx = RoundToInt(src.sx * 16.0f);
                e.sy = RoundToInt(src.sy * 16.0f);
                if constexpr (wantDepth)
                    e.sz = std::min(std::max(src.sz, 0.0f), 1.0f);
            } else {
                const float inv = 1.0f / o.w;
                e.sx = RoundToInt((o.x * inv * scaleX_ + offsetX_) * 16.0f);
                e.sy = RoundToInt((o.y * inv * scaleY_ + offsetY_) * 16.0f);
                if constexpr (wantDepth)
                    e.sz = std::min(std::max((o.z * inv - vp.minZ) * depthScale_, 0.0f), 1.0f);
            }
            if (trackWrites) {
                boxX0 = std::min(boxX0, e.sx);
                boxY0 = std::min(boxY0, e.sy);
                boxX1 = std::max(boxX1, e.sx);
                boxY1 = std::max(boxY1, e.sy);
            }
        }
    };
    auto light = [&](CacheEntry& c) {
        if constexpr (F == VertexFormat::Lit) {
            Light(*static_cast<const D3DVERTEX*>(c.v.source), &c.v);
        } else if constexpr (F == VertexFormat::PreLit) {
            const auto& src = *static_cast<const D3DLVERTEX*>(c.v.source);
            Colour(src.color, src.specular, &c.v);
        } else {
            const auto& src = *static_cast<const D3DTLVERTEX*>(c.v.source);
            Colour(src.color, src.specular, &c.v);
        }
    };

    // Every vertex is looked up as its triangle comes up (by index in an indexed draw, else
    // by value); a vertex not met before in this call is transformed, and lit only when a
    // triangle using it survives rejection and culling. A triangle works on the cache
    // entries themselves; should one of its vertices evict another of its own, the evicted
    // one moves to `spare` first.
    static_assert(sizeof(D3DVERTEX) == 32 && sizeof(D3DLVERTEX) == 32 && sizeof(D3DTLVERTEX) == 32);
    const auto* base = static_cast<const uint8_t*>(vertices);
    const int triangles = T == Topology::List ? count / 3 : count - 2;
    CacheEntry spare[2];
    for (int t = 0; t < triangles; ++t) {
        // The stream positions of the triangle's vertices, the one whose colour a flat
        // triangle takes first: a strip's odd triangles are turned over, a fan's take their
        // first two vertices from after the centre.
        CacheEntry* e[3];
        int spares = 0;
        for (int k = 0; k < 3; ++k) {
            int position;
            if constexpr (T == Topology::List)
                position = t * 3 + k;
            else if constexpr (T == Topology::Strip)
                position = k == 0 ? t : (k == 1 ? t + 1 + (t & 1) : t + 2 - (t & 1));
            else
                position = k == 2 ? 0 : t + 1 + k;
            const unsigned index = Indexed ? indices[position] : static_cast<unsigned>(position);
            const uint8_t* record = base + static_cast<size_t>(index) * 32;
            uint64_t key[3];
            CacheEntry* hit;
            bool miss;
            if constexpr (Indexed) {
                // The entry of the index itself: indices near each other in the stream are
                // near each other in the cache.
                key[0] = index;
                key[1] = key[2] = 0;
                hit = &cache[index & (kCacheSize - 1)];
                miss = hit->stamp != stamp_ || hit->key[0] != index;
            } else {
                std::memcpy(key, record, sizeof key);
                // The position's bits in 64-bit products: mirrored points, which differ only
                // in sign bits, land apart (in 32-bit products their sign bits would all fall
                // on bit 31 and cancel in pairs).
                const uint64_t h = key[0] * 0x9E3779B97F4A7C15ull ^
                                   static_cast<uint32_t>(key[1]) * 0xC2B2AE3D27D4EB4Full;
                uint16_t& slot = ringIndex[h >> (64 - kCacheBits)];
                hit = &cache[slot];
                miss = hit->stamp != stamp_ || ((hit->key[0] ^ key[0]) | (hit->key[1] ^ key[1]) |
                                                (hit->key[2] ^ key[2])) != 0;
                if (miss) {
                    slot = static_cast<uint16_t>(next_);
                    next_ = (next_ + 1) & (kCacheSize - 1);
                    hit = &cache[slot];
                }
            }
            if (miss) {
                CacheEntry& c = *hit;
                for (int j = 0; j < k; ++j)
                    if (e[j] == &c) {
                        spare[spares] = c;
                        e[j] = &spare[spares++];
                    }
                transform(record, c);
                c.key[0] = key[0];
                c.key[1] = key[1];
                c.key[2] = key[2];
                c.stamp = stamp_;
                c.lit = false;
            }
            e[k] = hit;
        }
        const Vertex& v0 = e[0]->v;
        const Vertex& v1 = e[1]->v;
        const Vertex& v2 = e[2]->v;
        const uint32_t all = v0.code & v1.code & v2.code;
        const uint32_t any = v0.code | v1.code | v2.code;
        if (all || (any & kNotFinite))
            continue;  // wholly outside one plane, or not a real triangle
        ScreenVertex s[3];
        if (any == 0) {
            for (int k = 0; k < 3; ++k) {
                s[k].x = e[k]->sx;
                s[k].y = e[k]->sy;
            }
            int64_t area2 = SignedArea2(s[0], s[1], s[2]);
            if (area2 == 0 || Culled(area2))
                continue;
        }
        for (CacheEntry* c : e) {
            if (!c->lit) {
                light(*c);
                c->fixed[0] = ToFixedColour(c->v.r);
                c->fixed[1] = ToFixedColour(c->v.g);
                c->fixed[2] = ToFixedColour(c->v.b);
                c->lit = true;
            }
        }
        if (any == 0) {
            for (int k = 0; k < 3; ++k) {
                s[k].r = e[k]->fixed[0];
                s[k].g = e[k]->fixed[1];
                s[k].b = e[k]->fixed[2];
                if constexpr (wantDepth)
                    s[k].z = e[k]->sz;
            }
            if constexpr (wantDepth)
                FillTriangle(s[0], s[1], s[2], scissor, target, flat_, &depth_);
            else
                FillTriangle(s[0], s[1], s[2], scissor, target, flat_);
            continue;
        }
        const Vertex* tri[3] = {&v0, &v1, &v2};
        ClipAndFill(tri, scissor, target);
        clipped = true;
    }
    if (clipped) {
        depthWritten_ = scissor;
    } else if (trackWrites && boxX0 <= boxX1) {
        // Pixel centres from the first column at or right of the leftmost vertex to the last
        // at or left of the rightmost, and likewise for rows.
        depthWritten_ =
            Scissor{std::max(boxX0 >> 4, scissor.x0), std::max(boxY0 >> 4, scissor.y0),
                    std::min((boxX1 >> 4) + 1, scissor.x1), std::min((boxY1 >> 4) + 1, scissor.y1)};
    }
}

// Clips a triangle against the planes it crosses (Sutherland-Hodgman in clip space, the
// colour interpolated at every new vertex), then maps, culls and fills the polygon as a fan.
void Pipeline::ClipAndFill(const Vertex* tri[3], const Scissor& scissor,
                           const PixelBuffer& target) {
    const ViewportState& vp = viewport_;
    const float left = vp.clipX, right = vp.clipX + vp.clipWidth;
    const float top = vp.clipY, bottom = vp.clipY - vp.clipHeight;
    Vertex bufA[kMaxPolygon], bufB[kMaxPolygon];
    Vertex* src = bufA;
    Vertex* dst = bufB;
    int n = 3;
    for (int i = 0; i < 3; ++i)
        src[i] = *tri[i];
    const uint32_t codes = tri[0]->code | tri[1]->code | tri[2]->code;
    auto distance = [&](const Vertex& v, int plane) -> float {
        switch (plane) {
            case 0:
                return v.x - left * v.w;
            case 1:
                return right * v.w - v.x;
            case 2:
                return v.y - bottom * v.w;
            case 3:
                return top * v.w - v.y;
            case 4:
                return v.z - vp.minZ * v.w;
            case 5:
                return vp.maxZ * v.w - v.z;
            default:
                return v.w - kMinW;
        }
    };
    // The near, far and w planes first, so the side planes see only points in front.
    static constexpr int kOrder[kPlanes] = {6, 4, 5, 0, 1, 2, 3};
    for (int plane : kOrder) {
        if (!(codes & (1u << plane)))
            continue;
        int out = 0;
        for (int i = 0; i < n; ++i) {
            const Vertex& a = src[i];
            const Vertex& b = src[(i + 1) % n];
            const float da = distance(a, plane);
            const float db = distance(b, plane);
            if (da >= 0)
                dst[out++] = a;
            if ((da >= 0) != (db >= 0)) {
                // Interpolate from the inside point so shared edges clip identically.
                const Vertex& in = da >= 0 ? a : b;
                const Vertex& o = da >= 0 ? b : a;
                const float din = da >= 0 ? da : db;
                const float dout = da >= 0 ? db : da;
                // In double: differences of far-apart float coordinates can overflow a
                // float, and the new point must lie between the two.
                const double t = static_cast<double>(din) / (static_cast<double>(din) - dout);
                auto lerp = [t](float p, float q) {
                    return static_cast<float>(p + (static_cast<double>(q) - p) * t);
                };
                Vertex& v = dst[out++];
                v.x = lerp(in.x, o.x);
                v.y = lerp(in.y, o.y);
                v.z = lerp(in.z, o.z);
                v.w = lerp(in.w, o.w);
                v.r = lerp(in.r, o.r);
                v.g = lerp(in.g, o.g);
                v.b = lerp(in.b, o.b);
            }
        }
        n = out;
        std::swap(src, dst);
        if (n < 3)
            return;
    }
    ScreenVertex s[kMaxPolygon];
    for (int i = 0; i < n; ++i)
        ToScreen(src[i], &s[i]);
    // The polygon is convex and planar, so its total signed area decides the culling.
    int64_t area2 = 0;
    for (int i = 1; i + 1 < n; ++i)
        area2 += SignedArea2(s[0], s[i], s[i + 1]);
    if (area2 == 0 || Culled(area2))
        return;
    // Flat shading takes the colour of the triangle's first vertex.
    if (flat_) {
        for (int i = 0; i < n; ++i) {
            s[i].r = ToFixedColour(tri[0]->r);
            s[i].g = ToFixedColour(tri[0]->g);
            s[i].b = ToFixedColour(tri[0]->b);
        }
    }
    for (int i = 1; i + 1 < n; ++i)
        FillTriangle(s[0], s[i], s[i + 1], scissor, target, flat_, depthOn_ ? &depth_ : nullptr);
}

}  // namespace platform::raster
