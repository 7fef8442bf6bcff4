// The software 3D pipeline behind the Direct3D device: transform, per-vertex lighting,
// clipping against the viewport's clip volume, viewport mapping, back-face culling and
// Gouraud rasterisation into a pixel buffer. It works on plain memory, so it can be used
// (and tested) without any surface around it.
//
// Positions reach the rasteriser as 28.4 fixed point, colours as 8.16 fixed point. A pixel
// (px, py) is covered when its centre, the point (px, py), lies inside the triangle; points
// exactly on an edge belong to the triangle whose left or top edge it is, so triangles that
// share an edge never draw a pixel twice and never leave one out.
#pragma once

#include <memory>

#include "platform/d3d.h"
#include "platform/soft/ddraw/pixels.h"

namespace platform::raster {

// A vertex ready for the rasteriser.
struct ScreenVertex {
    int32_t x, y;     // 28.4 fixed point pixels
    int32_t r, g, b;  // 8.16 fixed point, 0 .. 255 << 16
    float z;          // depth, 0 .. 1 (read with a depth buffer only)

    // Made without values, a vertex holds none (the pipeline sets each field when it needs
    // it).
    ScreenVertex() = default;
    ScreenVertex(int32_t x_, int32_t y_, int32_t r_, int32_t g_, int32_t b_, float z_ = 0)
        : x(x_), y(y_), r(r_), g(g_), b(b_), z(z_) {}
};

// The depth buffer a triangle is tested against (the size of the colour target), and the
// test: a pixel is drawn when its depth `func` the stored one holds (D3DCMP_*); with
// `write` its depth is then stored. Depths are stored scaled to the buffer's range and
// rounded (DepthValue); a triangle's depth is interpolated linearly on the screen.
struct DepthBuffer {
    uint8_t* pixels = nullptr;
    int pitch = 0;
    int bits = 16;  // 16 or 32
    DWORD func = D3DCMP_LESSEQUAL;
    bool write = true;
};

// The pixels that may be written: [x0, x1) x [y0, y1).
struct Scissor {
    int x0, y0, x1, y1;
};

// Fills one triangle (any winding) into `target`, limited to `scissor`, which must lie
// within the buffer. With `flat` every pixel takes the colour of `a`. With `depth` each
// pixel is tested against (and may update) the depth buffer.
void FillTriangle(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c,
                  const Scissor& scissor, const PixelBuffer& target, bool flat,
                  const DepthBuffer* depth = nullptr);

// Whether 16-bit Gouraud triangles may be drawn with AVX-512 where the processor has it
// (else AVX2, or SSE2, as the blitter's path is); tests turn it off to cover the others.
// Returns the previous setting.
bool AllowAvx512(bool allow);

// Twice the signed area of a screen triangle in 28.4 units squared. Positive means
// clockwise on screen (y grows downward).
inline int64_t SignedArea2(const ScreenVertex& a, const ScreenVertex& b, const ScreenVertex& c) {
    return static_cast<int64_t>(b.x - a.x) * (c.y - a.y) -
           static_cast<int64_t>(b.y - a.y) * (c.x - a.x);
}

// The raw pixel value of a D3DCOLOR (0xAARRGGBB) in a format, truncating each component.
uint32_t PackColour(PixelKind kind, D3DCOLOR colour);

// The stored value of depth `z` (0 .. 1, clamped; NaN is 0) in a depth buffer of `bits`
// (16 or 32): z scaled to the buffer's largest value and rounded.
uint32_t DepthValue(int bits, float z);

// Writes `pixel` into [x0, x1) x [y0, y1) of the buffer; the rectangle is clipped to it.
void FillRect(const PixelBuffer& target, int x0, int y0, int x1, int y1, uint32_t pixel);

// The viewport: a pixel rectangle and the clip volume mapped onto it.
struct ViewportState {
    int x = 0, y = 0, width = 0, height = 0;
    float clipX = -1, clipY = 1, clipWidth = 2, clipHeight = 2;
    float minZ = 0, maxZ = 1;
};

struct LightState {
    DWORD type = D3DLIGHT_POINT;
    float colour[3] = {1, 1, 1};
    float position[3] = {0, 0, 0};
    float direction[3] = {0, 0, 1};
    float range = D3DLIGHT_RANGE_MAX;
    float attenuation[3] = {1, 0, 0};
    float theta = 0, phi = 0;
    bool active = false;
    bool specular = true;
};

struct MaterialState {
    D3DCOLORVALUE diffuse{}, ambient{}, specular{}, emissive{};
    float power = 0;
};

// The vertex records the pipeline draws: D3DVERTEX (lit by the pipeline), D3DLVERTEX (its
// colour given) and D3DTLVERTEX (already on screen, its colour given).
enum class VertexFormat { Lit, PreLit, Transformed };
// How a stream of vertices makes triangles: every three; each vertex with the two before it
// (a strip, every second triangle turned over); each pair of neighbours with the first (a fan).
enum class Topology { List, Strip, Fan };

// Everything the pipeline needs besides the vertices; the device fills it from its own
// state, viewport, lights and material.
class Pipeline {
public:
    // Largest vertex count of one DrawTriangleList call. Drawing works triangle by triangle
    // in fixed-size storage (local, or the vertex cache made with the pipeline), so it never
    // allocates.
    static constexpr int kMaxVertices = 65535;
    static constexpr int kMaxLights = 8;

    Pipeline();
    ~Pipeline();
    Pipeline(const Pipeline&) = delete;
    Pipeline& operator=(const Pipeline&) = delete;

    void SetWorld(const D3DMATRIX& m);
    void SetView(const D3DMATRIX& m);
    void SetProjection(const D3DMATRIX& m);
    void SetViewport(const ViewportState& v) { viewport_ = v; }
    void SetCullMode(DWORD mode) { cullMode_ = mode; }
    void SetShadeMode(DWORD mode) { flat_ = mode == D3DSHADE_FLAT; }
    void SetSpecular(bool on) { specular_ = on; }
    void SetAmbient(D3DCOLOR colour) { ambient_ = colour; }
    // Null turns lighting off: every vertex is then white.
    void SetMaterial(const MaterialState* material);
    // Up to kMaxLights; more are ignored.
    void SetLights(const LightState* lights, int count);

    // Null turns the depth test off.
    void SetDepth(const DepthBuffer* depth);

    // Draws the triangles `count` vertices (count <= kMaxVertices) make in `topology` into
    // `target`. With `indices`, the stream is indices[0 .. count) into `vertices`, every
    // one of which must be below `vertexCount` (the caller checks).
    void Draw(VertexFormat format, Topology topology, const void* vertices, int vertexCount,
              const uint16_t* indices, int count, const PixelBuffer& target);
    // With depths written, the pixels the last Draw may have written lie in this rectangle
    // (empty when none): the device clears no more of the depth buffer than that.
    Scissor DepthWritten() const { return depthWritten_; }
    // Draws count / 3 triangles of D3DVERTEX.
    void DrawTriangleList(const D3DVERTEX* vertices, int count, const PixelBuffer& target) {
        Draw(VertexFormat::Lit, Topology::List, vertices, count, nullptr, count, target);
    }

private:
    struct Vertex;
    struct CacheEntry;
    // Vertices met earlier in the same call, found by value (position and normal): the
    // vertices a mesh shares between its triangles are transformed and lit once. New entries
    // go round a ring in the order they are met, so the vertices in use lie together in
    // memory; a hash table of ring positions finds them. Entries of earlier calls are told
    // apart by their stamp.
    static constexpr int kCacheBits = 12;
    static constexpr int kIndexSize = 1 << kCacheBits;
    static constexpr int kCacheSize = 1024;  // ring entries
    template <VertexFormat F, bool Indexed, Topology T, bool Depth>
    void DrawStream(const void* vertices, const uint16_t* indices, int count,
                    const PixelBuffer& target);
    template <VertexFormat F, bool Indexed>
    void DrawStream(Topology topology, const void* vertices, const uint16_t* indices, int count,
                    const PixelBuffer& target);
    void UpdateMatrices();
    void Light(const D3DVERTEX& in, Vertex* out) const;
    void Colour(D3DCOLOR diffuse, D3DCOLOR specular, Vertex* out) const;
    void ToScreen(const Vertex& v, ScreenVertex* out) const;
    void ClipAndFill(const Vertex* tri[3], const Scissor& scissor, const PixelBuffer& target);
    bool Culled(int64_t area2) const;

    D3DMATRIX world_, view_, projection_, combined_;
    float eye_[3] = {0, 0, 0};
    bool dirty_ = true;
    ViewportState viewport_;
    DWORD cullMode_ = D3DCULL_CCW;
    bool flat_ = false;
    bool specular_ = false;
    D3DCOLOR ambient_ = 0;
    bool lighting_ = false;
    MaterialState material_;
    LightState lights_[kMaxLights];
    int lightCount_ = 0;
    float base_[3] = {0, 0, 0};
    float invRange_[kMaxLights] = {};
    // Screen mapping: sx = x/w * scaleX + offsetX, sy = y/w * scaleY + offsetY.
    float scaleX_ = 0, offsetX_ = 0, scaleY_ = 0, offsetY_ = 0;
    // Depth: (z/w - minZ) * depthScale_.
    float depthScale_ = 1;
    bool depthOn_ = false;
    DepthBuffer depth_;
    Scissor depthWritten_{0, 0, 0, 0};
    std::unique_ptr<CacheEntry[]> cache_;  // kCacheSize entries, made with the pipeline
    std::unique_ptr<uint16_t[]> index_;    // kIndexSize ring positions
    uint32_t stamp_ = 0;
    int next_ = 0;  // the ring entry the next new vertex takes
};

}  // namespace platform::raster
