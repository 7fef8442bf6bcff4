// Transitional: scene objects are not built yet (no mesh, no transforms). Removed when they
// land.
#include "object3d/object3d.h"

Vec3 WorldUp(0.0f, 1.0f, 0.0f);
double SinTable[360];
double CosTable[360];
void BuildTrigTables() {}

Object3D::Object3D(const char*, float x, float y, float z) : pos(x, y, z), up(0.0f, 1.0f, 0.0f) {}
Object3D::~Object3D() {}
int Object3D::Update(float) { return 1; }
