// Gauges: the shown width is the value's percentage of the maximum, in pixels.
#include "sprite/gauge.h"

Gauge::Gauge(uint16_t xArg, uint16_t yArg, uint16_t resourceIdArg, uint16_t valueArg,
             uint16_t maximumArg)
    : Sprite(), value(valueArg), maximum(maximumArg), lastShown(0) {
    Init(resourceIdArg, xArg, yArg, 0, 0, 0, 1, 0);
}

Gauge::~Gauge() = default;

void Gauge::Update() {
    if (value != lastShown) {
        lastShown = value;
        // An empty maximum shows an empty bar.
        uint16_t shown = 0;
        if (maximum != 0) {
            const double percent = (static_cast<double>(value) / maximum) * 100.0;
            shown = static_cast<uint16_t>(static_cast<int64_t>(percent));
        }
        SetClipRect(x, y, x + shown, y + height);
    }
    AddToDisplayList(0);
}
