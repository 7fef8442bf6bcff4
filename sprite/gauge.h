// A horizontal bar showing a value against a maximum: the bar bitmap is never redrawn; the
// gauge narrows its clip rectangle to the value's percentage and the clipped blit cuts it.
#pragma once

#include "sprite/sprite.h"

class Gauge final : public Sprite {
public:
    // One frame from the bar bitmap, layer 0, at (x, y); made whatever the load returns.
    Gauge(uint16_t x, uint16_t y, uint16_t resourceId, uint16_t value, uint16_t maximum);
    ~Gauge();

    uint16_t GetValue() const { return value; }
    void SetValue(uint16_t newValue) { value = newValue; }

    // Recomputes the bar's clip when the value changed and lists the gauge for this frame.
    virtual void Update();

    uint16_t value;
    uint16_t maximum;
    uint16_t lastShown;  // value the clip was last computed for
};
