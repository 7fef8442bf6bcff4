// Display-list order, the restart rule, removal and clip classification, on sprites that
// need no surfaces.
#include <gtest/gtest.h>

#include <vector>

#include "sprite/sprite.h"

namespace {

// A sprite placed by hand, 10 x 10, with the screen clip of a 640 x 480 display.
struct Placed : Sprite {
    Placed(int32_t layerArg, int32_t xArg = 0, int32_t yArg = 0, int32_t w = 10, int32_t h = 10) {
        layer = layerArg;
        x = xArg;
        y = yArg;
        width = w;
        height = h;
        clip = Rect{0, 0, 639, 479};
    }
};

std::vector<Sprite*> Listed() {
    std::vector<Sprite*> out;
    for (Sprite* s = displayList::head; s; s = s->next)
        out.push_back(s);
    // The backward links agree with the forward ones.
    std::vector<Sprite*> back;
    for (Sprite* s = displayList::tail; s; s = s->prev)
        back.insert(back.begin(), s);
    EXPECT_EQ(out, back);
    return out;
}

}  // namespace

// Every test starts from an empty list with a restart pending, as the program does.
class DisplayList : public ::testing::Test {
protected:
    void SetUp() override {
        displayList::head = displayList::tail = nullptr;
        displayList::restartPending = 1;
    }
};

TEST_F(DisplayList, OrdersByLayerWithItsThreeTieRules) {
    Placed s1(5), s2(3), s3(5), s4(1), s5(3), s6(1);
    for (Sprite* s : {&s1, &s2, &s3, &s4, &s5})
        s->AddToDisplayList(0);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&s4, &s2, &s5, &s1, &s3}));
    // A tie with the head (below the tail) goes before the head.
    s6.AddToDisplayList(0);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&s6, &s4, &s2, &s5, &s1, &s3}));
}

TEST_F(DisplayList, LayerArgumentAboveZeroReplacesTheLayer) {
    Placed a(4), b(4), c(4);
    a.AddToDisplayList(0);
    b.AddToDisplayList(-3);
    c.AddToDisplayList(2);
    EXPECT_EQ(a.layer, 4);
    EXPECT_EQ(b.layer, 4);
    EXPECT_EQ(c.layer, 2);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&c, &a, &b}));
}

TEST_F(DisplayList, SpritesOutsideTheirClipAreNotListedButEmptyBarsAre) {
    Placed outside(0, 700, 0), bar(0, 0, 400, 100, 10), inside(0);
    outside.AddToDisplayList(0);
    EXPECT_EQ(displayList::head, nullptr);
    // A clip whose right edge equals x: listed (partly inside), drawn as nothing.
    bar.SetClipRect(0, 400, 0, 410);
    EXPECT_EQ(bar.ClassifyClip(bar.clip), ClipPartial);
    bar.AddToDisplayList(0);
    inside.AddToDisplayList(0);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&bar, &inside}));
}

TEST_F(DisplayList, NewFrameStartsAfterDrawAndAnEmptyFrameKeepsTheOldList) {
    Placed a(1), b(2), gone(0, 0, 900);
    a.AddToDisplayList(0);
    b.AddToDisplayList(0);
    DrawDisplayList();  // no surfaces: nothing is drawn, but the restart is armed
    EXPECT_EQ(displayList::restartPending, 1);
    // No additions: the previous list stays.
    DrawDisplayList();
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &b}));
    // The first addition of a frame empties the list even when that sprite is not listed.
    gone.AddToDisplayList(0);
    EXPECT_EQ(displayList::head, nullptr);
    EXPECT_EQ(displayList::tail, nullptr);
    b.AddToDisplayList(0);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&b}));
}

TEST_F(DisplayList, RemovalFromEitherEndTheMiddleAndNowhere) {
    Placed a(1), b(2), c(3), d(4), loner(1);
    for (Sprite* s : {&a, &b, &c, &d})
        s->AddToDisplayList(0);
    loner.RemoveFromDisplayList();  // not listed: nothing changes
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &b, &c, &d}));
    b.RemoveFromDisplayList();
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &c, &d}));
    a.RemoveFromDisplayList();
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&c, &d}));
    d.RemoveFromDisplayList();
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&c}));
    c.RemoveFromDisplayList();
    EXPECT_EQ(displayList::head, nullptr);
    EXPECT_EQ(displayList::tail, nullptr);
}

TEST_F(DisplayList, DestroyingAListedSpriteUnlinksIt) {
    Placed a(1), c(3);
    Placed* b = new Placed(2);
    Placed* d = new Placed(4);
    a.AddToDisplayList(0);
    b->AddToDisplayList(0);
    c.AddToDisplayList(0);
    d->AddToDisplayList(0);
    delete b;
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &c, d}));
    // After the draw the list is still the one a frame without additions draws again, so a
    // sprite listed in that earlier frame leaves it too.
    DrawDisplayList();
    delete d;
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &c}));
}

TEST(ClassifyClip, EdgesAreExclusiveAndComparisonsSigned) {
    const Rect screen{0, 0, 639, 479};
    EXPECT_EQ(Placed(0, 629, 0, 10).ClassifyClip(screen), ClipInside);   // x + width = 639
    EXPECT_EQ(Placed(0, 630, 0, 10).ClassifyClip(screen), ClipPartial);  // x + width = 640
    EXPECT_EQ(Placed(0, 639, 0, 10).ClassifyClip(screen), ClipPartial);  // x = right
    EXPECT_EQ(Placed(0, 640, 0, 10).ClassifyClip(screen), ClipOutside);  // x > right
    EXPECT_EQ(Placed(0, -10, 0, 10).ClassifyClip(screen), ClipPartial);  // x + width = left
    EXPECT_EQ(Placed(0, -11, 0, 10).ClassifyClip(screen), ClipOutside);  // x + width < left
    EXPECT_EQ(Placed(0, 0, 469, 10).ClassifyClip(screen), ClipInside);   // y + height = 479
    EXPECT_EQ(Placed(0, 0, 470, 10).ClassifyClip(screen), ClipPartial);  // y + height = 480
    EXPECT_EQ(Placed(0, 0, 479, 10).ClassifyClip(screen), ClipPartial);  // y = bottom
    EXPECT_EQ(Placed(0, 0, 480, 10).ClassifyClip(screen), ClipOutside);  // y > bottom
    EXPECT_EQ(Placed(0, 0, -10, 10).ClassifyClip(screen), ClipPartial);  // y + height = top
    EXPECT_EQ(Placed(0, 0, -11, 10).ClassifyClip(screen), ClipOutside);  // y + height < top
    EXPECT_EQ(Placed(0, -10, 0, 100).ClassifyClip(Rect{0, 0, 50, 479}), ClipPartial);
}

TEST_F(DisplayList, AddingTwiceInOneFrameMovesTheSprite) {
    Placed a(1), b(2), c(3);
    Placed* moved = new Placed(2);
    for (Sprite* s : {&a, &b, moved, &c})
        s->AddToDisplayList(0);
    moved->AddToDisplayList(5);  // to the tail, out of its old place
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &b, &c, moved}));
    moved->SetClipRect(-100, -100, -50, -50);
    moved->AddToDisplayList(0);  // now outside its clip: out of the list altogether
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &b, &c}));
    delete moved;
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &b, &c}));
    // Next frame: the old links are history, not a reason to unlink.
    DrawDisplayList();
    c.AddToDisplayList(0);
    a.AddToDisplayList(0);
    EXPECT_EQ(Listed(), (std::vector<Sprite*>{&a, &c}));
}
