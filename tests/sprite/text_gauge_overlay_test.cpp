// Bitmap-font text, gauges and the overlay scene on a software display.
#include <string>
#include <vector>

#include "machine.h"
#include "resources/resource_ids.h"
#include "sprite/gauge.h"
#include "sprite/overlay.h"

namespace {

// True when the w x h block at (x, y) of `a` equals the block at (u, v) of `b`.
bool SameBlock(IDirectDrawSurface4* a, int x, int y, IDirectDrawSurface4* b, int u, int v, int w,
               int h) {
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (SpriteMachine::Pixel(a, x + i, y + j) != SpriteMachine::Pixel(b, u + i, v + j))
                return false;
    return true;
}

bool AllKey(IDirectDrawSurface4* s, int x, int y, int w, int h) {
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
            if (SpriteMachine::Pixel(s, x + i, y + j) != SpriteMachine::kKey)
                return false;
    return true;
}

std::vector<Sprite*> Listed() {
    std::vector<Sprite*> out;
    for (Sprite* s = displayList::head; s; s = s->next)
        out.push_back(s);
    return out;
}

}  // namespace

using TextTest = SpriteMachine;

TEST_F(TextTest, RendersGlyphCellsFromTheStrip) {
    FontSprite font(IDB_FONT_7X12, 7, 11);
    Sprite* text = font.RenderText("TESTING", 320, 440, 7, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->width, 49);
    EXPECT_EQ(text->height, 11);
    EXPECT_EQ(text->x, 320);
    EXPECT_EQ(text->y, 440);
    EXPECT_EQ(text->layer, 0);
    EXPECT_EQ(text->next, nullptr);
    const std::string s = "TESTING";
    for (int i = 0; i < 7; ++i)
        EXPECT_TRUE(SameBlock(text->surface, i * 7, 0, font.surface, (s[i] - 33) * 7, 0, 7, 11))
            << i;
    delete text;

    // "!" is the strip's first cell and "~" its 94th.
    text = font.RenderText("!~", 0, 0, 2, 1);
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(SameBlock(text->surface, 0, 0, font.surface, 0, 0, 7, 11));
    EXPECT_TRUE(SameBlock(text->surface, 7, 0, font.surface, 93 * 7, 0, 7, 11));
    delete text;
}

TEST_F(TextTest, WrapsNewlinesSpacesAndOverruns) {
    FontSprite font(IDB_FONT_7X12, 7, 11);
    auto glyph = [&](Sprite* t, int col, int row, char c) {
        return SameBlock(t->surface, col * 7, row * 11, font.surface, (c - 33) * 7, 0, 7, 11);
    };
    Sprite* t = font.RenderText("ABCD", 0, 0, 3, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(glyph(t, 0, 0, 'A') && glyph(t, 2, 0, 'C') && glyph(t, 0, 1, 'D'));
    EXPECT_TRUE(AllKey(t->surface, 7, 11, 14, 11));
    delete t;

    // Spaces may run past the edge; the next glyph wraps.
    t = font.RenderText("AB  C", 0, 0, 3, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(glyph(t, 1, 0, 'B') && glyph(t, 0, 1, 'C'));
    EXPECT_TRUE(AllKey(t->surface, 14, 0, 7, 11));
    delete t;

    // A newline at the start begins a new row; characters without a glyph are empty cells.
    t = font.RenderText("\n\x01\xC0Z", 0, 0, 3, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(AllKey(t->surface, 0, 0, 21, 11));
    EXPECT_TRUE(AllKey(t->surface, 0, 11, 14, 11));
    EXPECT_TRUE(glyph(t, 2, 1, 'Z'));
    delete t;

    t = font.RenderText("", 0, 0, 3, 2);
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(AllKey(t->surface, 0, 0, 21, 22));
    delete t;

    EXPECT_EQ(font.RenderText("ABCDEFG", 0, 0, 3, 2), nullptr);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text, "Source sprite overran dest sprite");
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "ERROR");
}

using GaugeTest = SpriteMachine;

TEST_F(GaugeTest, ShownWidthIsTheTruncatedDoublePercentage) {
    Gauge g(0, 400, IDB_GAUGE_GREEN, 100, 100);
    EXPECT_EQ(g.width, 100);
    EXPECT_EQ(g.height, 10);
    for (int v = 1; v <= 100; ++v) {
        g.SetValue(static_cast<uint16_t>(v));
        g.Update();
        const int expected = (v == 29 || v == 57 || v == 58) ? v - 1 : v;
        EXPECT_EQ(g.clip.right, expected) << v;
        EXPECT_EQ(g.clip.left, 0);
        EXPECT_EQ(g.clip.top, 400);
        EXPECT_EQ(g.clip.bottom, 410);
    }
    g.SetValue(150);  // above the maximum: wider than the bar
    g.Update();
    EXPECT_EQ(g.clip.right, 150);
    g.SetValue(0);
    g.Update();
    EXPECT_EQ(g.clip.right, 0);
    EXPECT_EQ(displayList::tail, &g);  // an empty bar is still listed
}

TEST_F(GaugeTest, FirstUpdateAtZeroKeepsTheScreenClipAndUnchangedValuesAreNotRecomputed) {
    Gauge empty(0, 0, IDB_GAUGE_RED, 0, 100);
    empty.Update();
    EXPECT_EQ(empty.clip.right, 639);

    Gauge g(0, 20, IDB_GAUGE_RED, 100, 100);
    g.SetValue(40);
    g.Update();
    EXPECT_EQ(g.clip.right, 40);
    g.SetClipRect(1, 2, 3, 4);
    g.Update();
    EXPECT_EQ(g.clip.right, 3);  // the second Update did not compute again
    EXPECT_EQ(g.lastShown, 40);
}

TEST_F(GaugeTest, ZeroMaximumShowsAnEmptyBarThatDrawsNothing) {
    Gauge g(0, 100, IDB_GAUGE_YELLOW, 5, 0);
    g.Update();
    EXPECT_EQ(g.clip.right, 0);
    EXPECT_EQ(displayList::head, &g);
    DrawDisplayList();
    for (int x = 0; x < 100; ++x)
        ASSERT_EQ(Back(x, 105), 0u);
}

using OverlayTest = SpriteMachine;

TEST_F(OverlayTest, PlacesItsSpritesAndListsThemInOrder) {
    ASSERT_EQ(CreateOverlay(), 1);
    const OverlayObjects o = GetOverlayObjects();
    const int ys[] = {400, 420, 440, 460};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(o.gauges[i], nullptr);
        EXPECT_EQ(o.gauges[i]->x, 0);
        EXPECT_EQ(o.gauges[i]->y, ys[i]);
        ASSERT_NE(o.fonts[i], nullptr);
        EXPECT_NE(o.fonts[i]->surface, nullptr);
    }
    EXPECT_EQ(o.fonts[0]->cellWidth, 7);
    EXPECT_EQ(o.fonts[2]->cellHeight, 13);
    EXPECT_EQ(o.fonts[3]->width, 752);
    ASSERT_NE(o.crosshair, nullptr);
    EXPECT_EQ(o.crosshair->x, 304);
    EXPECT_EQ(o.crosshair->y, 224);
    ASSERT_NE(o.caption, nullptr);
    EXPECT_EQ(o.caption->x, 320);
    EXPECT_EQ(o.caption->y, 440);
    EXPECT_EQ(o.caption->width, 49);
    EXPECT_TRUE(platform::MessageBoxes().empty());

    UpdateOverlay();
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{o.gauges[0], o.gauges[1], o.gauges[2], o.gauges[3],
                                              o.crosshair, o.caption}));
    EXPECT_EQ(o.crosshair->ClassifyClip(o.crosshair->clip), ClipInside);
    EXPECT_EQ(o.caption->ClassifyClip(o.caption->clip), ClipInside);
    DestroyOverlay();
}

TEST_F(OverlayTest, BarsRunDownOverAHundredAndOneFrameCycle) {
    CreateOverlay();
    const OverlayObjects o = GetOverlayObjects();
    // Frame number -> pixels shown by every bar.
    const struct {
        int frame, shown;
    } checks[] = {{1, 99}, {42, 57}, {43, 56}, {71, 28}, {100, 0}, {101, 100}, {102, 99}};
    int frame = 0;
    for (const auto& c : checks) {
        while (frame < c.frame) {
            UpdateOverlay();
            ClearBackBuffer(0);
            DrawDisplayList();
            ++frame;
        }
        for (Gauge* g : o.gauges) {
            const int right = g->ClassifyClip(g->clip) == ClipInside ? 100 : g->clip.right;
            EXPECT_EQ(right, c.shown) << "frame " << c.frame;
        }
        // Bar 1 drawn on screen: stripes up to the shown width, nothing after.
        const int y = 405;
        int lastDrawn = -1;
        for (int x = 0; x < 110; ++x)
            if (Back(x, y) != 0)
                lastDrawn = x;
        EXPECT_EQ(lastDrawn + 1, c.shown == 0 ? 0 : (c.shown % 2 ? c.shown : c.shown - 1))
            << "frame " << c.frame;
    }
    DestroyOverlay();
}

TEST_F(OverlayTest, DestroyLeavesNoSurfaceAndSkipsWhatWasNotMade) {
    CreateOverlay();
    const OverlayObjects o = GetOverlayObjects();
    std::vector<IDirectDrawSurface4*> surfaces;
    std::vector<Sprite*> all = {o.gauges[0], o.gauges[1], o.gauges[2], o.gauges[3], o.crosshair,
                                o.caption,   o.fonts[0],  o.fonts[1],  o.fonts[2],  o.fonts[3]};
    for (Sprite* s : all)
        for (SpriteFrame* f = s->frames; f; f = f->next) {
            f->surface->AddRef();
            surfaces.push_back(f->surface);
        }
    EXPECT_EQ(surfaces.size(), 10u);
    UpdateOverlay();
    DestroyOverlay();
    EXPECT_EQ(displayList::head, nullptr);
    for (IDirectDrawSurface4* s : surfaces)
        EXPECT_EQ(s->Release(), 0u);

    // The first font failed to load: the caption is blank and the scene still runs.
    platform::FailCall("LoadImageA", 1, E_FAIL);
    CreateOverlay();
    EXPECT_EQ(GetOverlayObjects().fonts[0]->surface, nullptr);
    UpdateOverlay();
    DrawDisplayList();
    DestroyOverlay();
}
