// Every public header compiles on its own and together with the others.
#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/display.h"
#include "object3d/math3d.h"
#include "object3d/object3d.h"
#include "platform/backend.h"
#include "platform/d3d.h"
#include "platform/ddraw.h"
#include "platform/gdi.h"
#include "platform/soft/gdi/gdi_internal.h"
#include "platform/soft/ddraw/pixels.h"
#include "platform/win.h"
#include "sprite/overlay.h"

#include <gtest/gtest.h>

TEST(Headers, RecordLayoutsMatchThePlatform) {
    EXPECT_EQ(sizeof(DDCAPS), 380u);
    EXPECT_EQ(sizeof(D3DVIEWPORT2), 44u);
    EXPECT_EQ(sizeof(D3DMATERIAL), 80u);
    EXPECT_EQ(sizeof(D3DLIGHT2), 80u);
    EXPECT_EQ(sizeof(Matrix4), 64u);
    EXPECT_EQ(sizeof(Vec3), 12u);
}
