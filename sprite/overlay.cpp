// The overlay scene: four fonts, four gauges that count down together and refill, a
// crosshair near the centre and a caption rendered with the first font.
#include "sprite/overlay.h"

#include <new>

#include "directx/display.h"
#include "resources/resource_ids.h"
#include "sprite/gauge.h"
#include "sprite/sprite.h"

namespace {
FontSprite* font1 = nullptr;
FontSprite* font2 = nullptr;
FontSprite* font3 = nullptr;
FontSprite* font4 = nullptr;
Gauge* gauge1 = nullptr;
Gauge* gauge2 = nullptr;
Gauge* gauge3 = nullptr;
Gauge* gauge4 = nullptr;
Sprite* crosshair = nullptr;
Sprite* caption = nullptr;
}  // namespace

int CreateOverlay() {
    const uint16_t width = DisplayContext.width;
    const uint16_t height = DisplayContext.height;

    font1 = new (std::nothrow) FontSprite(IDB_FONT_7X12, 7, 11);
    font2 = new (std::nothrow) FontSprite(IDB_FONT_7X11, 8, 11);
    font3 = new (std::nothrow) FontSprite(IDB_FONT_749, 8, 13);
    font4 = new (std::nothrow) FontSprite(IDB_FONT_8X14, 8, 14);

    gauge1 =
        new (std::nothrow) Gauge(0, static_cast<uint16_t>(height - 80), IDB_GAUGE_GREEN, 100, 100);
    gauge2 =
        new (std::nothrow) Gauge(0, static_cast<uint16_t>(height - 60), IDB_GAUGE_RED, 100, 100);
    gauge3 =
        new (std::nothrow) Gauge(0, static_cast<uint16_t>(height - 40), IDB_GAUGE_YELLOW, 100, 100);
    gauge4 =
        new (std::nothrow) Gauge(0, static_cast<uint16_t>(height - 20), IDB_GAUGE_BLUE, 100, 100);

    // The offset is 16 for a 64-pixel image: its centre falls 16 pixels right of and below
    // the screen's centre.
    crosshair =
        new (std::nothrow) Sprite(IDB_CROSSHAIR, width / 2 - 16, height / 2 - 16, 0, 0, 0, 1, 0);

    caption = font1 ? font1->RenderText("TESTING", static_cast<uint16_t>(width / 2),
                                        static_cast<uint16_t>(height - 40), 7, 1)
                    : nullptr;
    return 1;
}

void UpdateOverlay() {
    Gauge* const gauges[] = {gauge1, gauge2, gauge3, gauge4};
    // The fourth gauge drives the cycle; without it the first one that exists does.
    Gauge* driver = gauge4;
    for (Gauge* g : gauges)
        if (!driver)
            driver = g;
    if (driver) {
        const uint16_t current = driver->GetValue();
        const uint16_t value = current == 0 ? 100 : static_cast<uint16_t>(current - 1);
        for (Gauge* g : {gauge4, gauge1, gauge2, gauge3})
            if (g)
                g->SetValue(value);
    }
    for (Gauge* g : gauges)
        if (g)
            g->Update();
    if (crosshair)
        crosshair->AddToDisplayList(0);
    if (caption)
        caption->AddToDisplayList(0);
}

void DestroyOverlay() {
    for (Gauge* g : {gauge1, gauge2, gauge3, gauge4})
        delete g;
    delete crosshair;
    delete caption;
    for (FontSprite* f : {font1, font2, font3, font4})
        delete f;
    // Nothing of the scene is left to reach after this.
    gauge1 = gauge2 = gauge3 = gauge4 = nullptr;
    crosshair = caption = nullptr;
    font1 = font2 = font3 = font4 = nullptr;
}

OverlayObjects GetOverlayObjects() {
    return OverlayObjects{
        {font1, font2, font3, font4}, {gauge1, gauge2, gauge3, gauge4}, crosshair, caption};
}
