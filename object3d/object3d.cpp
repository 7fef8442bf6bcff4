// Scene objects: the camera steers from the held keys and sets the device's view
// transform; every other object sets its world transform and draws its mesh as a triangle
// list.
#include "object3d/object3d.h"

#include <cstdlib>

#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"

namespace {

// Faces whose three vertices fit the scratch triangle list of one draw call.
constexpr int FacesPerBatch = MaxDrawVertices / 3;

// The triangle list Draw builds every frame; a fixed array, so drawing allocates nothing.
MeshVertex scratchVertices[MaxDrawVertices];

// Keeps an angle within 0 .. 359 after a step of one degree.
int Wrap(int degrees) {
    if (degrees < 0)
        return 359;
    if (degrees > 359)
        return 0;
    return degrees;
}

}  // namespace

Object3D::Object3D(const char* meshFile, float x, float y, float z) {
    vertexCount = 0;
    faceCount = 0;
    vertices = nullptr;
    faces = nullptr;
    target = nullptr;
    IdentityMatrix(lastLookAt);
    if (meshFile)
        LoadMesh(this, meshFile);  // a failed load leaves the object without a mesh
    pitch = 0;
    yaw = 0;
    roll = 0;
    pos = Vec3(x, y, z);
    dir = Vec3(0.0f, 0.0f, 0.0f);
    up = Vec3(0.0f, 1.0f, 0.0f);
}

Object3D::~Object3D() {
    if (faces)
        free(faces);
    if (vertices)
        free(vertices);
    free(indices);
    if (material)
        material->Release();
}

int Object3D::Update(float elapsed) {
    UpdateTransform(elapsed);
    if (this != cameraObject)
        Draw();
    return 1;
}

Matrix4 Object3D::RotationMatrix() const {
    Matrix4 r, step;
    IdentityMatrix(r);
    if (pitch != 0) {
        RotationXMatrix(step, pitch);
        r = MatrixMultiply(r, step);
    }
    if (yaw != 0) {
        RotationYMatrix(step, yaw);
        r = MatrixMultiply(r, step);
    }
    if (roll != 0) {
        RotationZMatrix(step, roll);
        r = MatrixMultiply(r, step);
    }
    return r;
}

Matrix4 Object3D::WorldMatrix() const {
    Matrix4 w;
    TranslationMatrix(w, pos.x, pos.y, pos.z);
    if (pitch == 0 && yaw == 0 && roll == 0)
        return w;
    // Turning in place: the model turns about its own origin, then moves to pos. Otherwise
    // the translation stands first: the model is moved by pos and then turned about the
    // world origin together with its offset.
    return turnsInPlace ? MatrixMultiply(RotationMatrix(), w) : MatrixMultiply(w, RotationMatrix());
}

int Object3D::UpdateTransform(float elapsed) {
    return this == cameraObject ? UpdateView() : UpdateWorld();
}

int Object3D::UpdateWorld() {
    Matrix4 world = WorldMatrix();
    HRESULT hr = DisplayContext.device->SetTransform(D3DTRANSFORMSTATE_WORLD, &world);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 141);
        return 0;
    }
    return 1;
}

int Object3D::UpdateView() {
    // One degree per frame for each held key, whatever the elapsed time.
    if (InputState.leftHeld) {
        roll = Wrap(roll - 1);
        yaw = Wrap(yaw + 1);
    } else if (InputState.rightHeld) {
        roll = Wrap(roll + 1);
        yaw = Wrap(yaw - 1);
    }
    if (InputState.upHeld)
        pitch = Wrap(pitch - 1);
    else if (InputState.downHeld)
        pitch = Wrap(pitch + 1);
    if (InputState.spaceHeld) {
        pitch = 0;
        yaw = 0;
        roll = 0;
    }

    // Standing on its target (or without one) the camera cannot form a look-at; it keeps
    // the one of its previous frame (the identity before any) and still turns by its own
    // angles.
    if (target)
        LookAtMatrix(lastLookAt, pos, target->pos, WorldUp);
    Matrix4 view = lastLookAt;
    // The camera's own angles turn the view in camera space, about the camera's axes.
    if (pitch != 0 || yaw != 0 || roll != 0)
        view = MatrixMultiply(view, RotationMatrix());
    HRESULT hr = DisplayContext.device->SetTransform(D3DTRANSFORMSTATE_VIEW, &view);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 134);
        return 0;
    }
    return 1;
}

int Object3D::Draw() {
    // Indexed only with the indices of the mesh as it is now.
    const bool indexed = drawIndexed && indices && indexCount == 3u * faceCount;
    if (materialHandle == 0)
        return indexed ? DrawIndexed() : DrawExpanded();
    IDirect3DDevice3* device = DisplayContext.device;
    HRESULT hr = device->SetLightState(D3DLIGHTSTATE_MATERIAL, materialHandle);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 172);
        return 0;
    }
    const int drawn = indexed ? DrawIndexed() : DrawExpanded();
    // The next object is drawn in the scene's material unless it has its own.
    hr = device->SetLightState(D3DLIGHTSTATE_MATERIAL, DisplayContext.materialHandle);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 174);
        return 0;
    }
    return drawn;
}

int Object3D::DrawExpanded() {
    // The faces go out as triangle lists of at most FacesPerBatch faces each; a mesh
    // without faces still makes one call with no vertices.
    int first = 0;
    do {
        int batchFaces = faceCount - first;
        if (batchFaces > FacesPerBatch)
            batchFaces = FacesPerBatch;
        MeshVertex* out = scratchVertices;
        for (int j = first; j < first + batchFaces; ++j) {
            const MeshFace& face = faces[j];
            *out++ = vertices[face.a];
            *out++ = vertices[face.b];
            *out++ = vertices[face.c];
        }
        HRESULT hr =
            DisplayContext.device->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_VERTEX, scratchVertices,
                                                 static_cast<DWORD>(3 * batchFaces), D3DDP_WAIT);
        if (hr != 0) {
            ReportDirect3DError(hr, "object3d", 168);
            return 0;
        }
        first += batchFaces;
    } while (first < faceCount);
    return 1;
}

int Object3D::DrawIndexed() {
    // Nothing to draw: no call at all (an indexed call needs at least one triangle).
    if (indexCount == 0 || !indices || !vertices)
        return 1;
    // Whole triangles of at most MaxDrawIndices indices a call, all from the one vertex
    // array.
    for (uint32_t first = 0; first < indexCount;) {
        uint32_t batch = indexCount - first;
        if (batch > MaxDrawIndices)
            batch = MaxDrawIndices - MaxDrawIndices % 3;
        HRESULT hr = DisplayContext.device->DrawIndexedPrimitive(
            D3DPT_TRIANGLELIST, D3DFVF_VERTEX, vertices, vertexCount, indices + first, batch,
            D3DDP_WAIT);
        if (hr != 0) {
            ReportDirect3DError(hr, "object3d", 170);
            return 0;
        }
        first += batch;
    }
    return 1;
}

namespace {

float Clamp01(float v) {
    return v > 1.0f ? 1.0f : (v > 0.0f ? v : 0.0f);  // nan goes to 0
}

}  // namespace

int Object3D::SetColor(float r, float g, float b) {
    // Without a device there is nothing to make the material with (and nothing to report).
    if (!DisplayContext.direct3D || !DisplayContext.device)
        return 0;
    if (!material) {
        IDirect3DMaterial3* made = nullptr;
        HRESULT hr = DisplayContext.direct3D->CreateMaterial(&made, nullptr);
        if (hr != 0) {
            ReportDirect3DError(hr, "object3d", 190);
            return 0;
        }
        material = made;
    }
    D3DMATERIAL description = SceneMaterial();
    description.diffuse = D3DCOLORVALUE{Clamp01(r), Clamp01(g), Clamp01(b), 1.0f};
    description.ambient = description.diffuse;
    HRESULT hr = material->SetMaterial(&description);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 192);
        return 0;
    }
    D3DMATERIALHANDLE handle = 0;
    hr = material->GetHandle(DisplayContext.device, &handle);
    if (hr != 0) {
        ReportDirect3DError(hr, "object3d", 194);
        return 0;
    }
    materialHandle = handle;
    return 1;
}
