// The bitmap reader, the embedded bitmaps and the copy into surface formats.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base.h"
#include "platform/soft/gdi/gdi_internal.h"
#include "resources/resource_ids.h"
#include "support/test_support.h"

using namespace platform;

namespace {

void Put16(std::string& s, size_t at, uint16_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>(v >> 8);
}
void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

// A BMP file: headers, optional palette, then `pixels` (rows already padded).
std::string MakeBmp(int32_t width, int32_t height, uint16_t bits, const std::string& pixels,
                    const std::string& palette = "", uint32_t compression = 0) {
    std::string s(54, '\0');
    s[0] = 'B';
    s[1] = 'M';
    Put32(s, 2, static_cast<uint32_t>(54 + palette.size() + pixels.size()));
    Put32(s, 10, static_cast<uint32_t>(54 + palette.size()));
    Put32(s, 14, 40);
    Put32(s, 18, static_cast<uint32_t>(width));
    Put32(s, 22, static_cast<uint32_t>(height));
    Put16(s, 26, 1);
    Put16(s, 28, bits);
    Put32(s, 30, compression);
    Put32(s, 46, static_cast<uint32_t>(palette.size() / 4));
    return s + palette + pixels;
}

std::string Bgr(uint8_t r, uint8_t g, uint8_t b) {
    return std::string{static_cast<char>(b), static_cast<char>(g), static_cast<char>(r)};
}

bool Decode(const std::string& file, Bitmap* out, std::string* why) {
    return DecodeBmp(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out, why);
}

// 2 x 2, 24 bits: bottom row first in the file.
std::string TwoByTwo(bool topDown) {
    const std::string first = Bgr(255, 0, 0) + Bgr(0, 255, 0) + std::string(2, '\0');
    const std::string second = Bgr(0, 0, 255) + Bgr(255, 0, 255) + std::string(2, '\0');
    return MakeBmp(2, topDown ? -2 : 2, 24, first + second);
}

}  // namespace

TEST(BitmapDecoder, ReadsTwentyFourBitRowsInEitherOrder) {
    Bitmap b;
    std::string why;
    ASSERT_TRUE(Decode(TwoByTwo(false), &b, &why)) << why;
    ASSERT_EQ(b.width, 2);
    ASSERT_EQ(b.height, 2);
    // Bottom-up: the file's first row is the picture's last.
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0x0000FF, 0xFF00FF, 0xFF0000, 0x00FF00}));
    ASSERT_TRUE(Decode(TwoByTwo(true), &b, &why)) << why;
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0xFF00FF}));
}

TEST(BitmapDecoder, ReadsThirtyTwoBitAndPalettedBitmaps) {
    Bitmap b;
    std::string why;
    std::string px32;
    for (uint32_t v : {0xAA123456u, 0x00654321u})
        for (int i = 0; i < 4; ++i)
            px32 += static_cast<char>((v >> (8 * i)) & 0xFF);
    ASSERT_TRUE(Decode(MakeBmp(2, -1, 32, px32), &b, &why)) << why;
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0x123456, 0x654321}));

    std::string palette;
    palette += Bgr(10, 20, 30) + '\0';
    palette += Bgr(255, 0, 255) + '\0';
    // Index 7 lies past the two palette entries: it reads as black.
    const std::string px8 = std::string{1, 0, 7} + '\0';
    ASSERT_TRUE(Decode(MakeBmp(3, 1, 8, px8, palette), &b, &why)) << why;
    EXPECT_EQ(b.pixels, (std::vector<uint32_t>{0xFF00FF, 0x0A141E, 0}));
}

TEST(BitmapDecoder, RefusesMalformedFilesWithAReason) {
    const std::string good = TwoByTwo(false);
    struct Case {
        std::string file;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({good.substr(0, 20), "too short"});
    cases.push_back({"XM" + good.substr(2), "signature"});
    std::string s = good;
    Put32(s, 14, 64);
    cases.push_back({s, "header size"});
    s = good;
    Put32(s, 14, 4000);
    cases.push_back({s, "header size"});
    s = good;
    Put32(s, 14, 124);
    cases.push_back({s, "past the end"});
    s = good;
    Put32(s, 18, 0);
    cases.push_back({s, "no pixels"});
    s = good;
    Put32(s, 22, 0x80000000u);
    cases.push_back({s, "no pixels"});
    s = good;
    Put16(s, 28, 7);
    cases.push_back({s, "depth"});
    s = good;
    Put32(s, 30, 4);
    cases.push_back({s, "JPEG"});
    s = good;
    Put32(s, 30, 1);
    cases.push_back({s, "does not match"});
    s = good;
    Put32(s, 30, 3);
    cases.push_back({s, "16 or 32 bits"});
    s = good;
    Put16(s, 26, 2);
    cases.push_back({s, "plane"});
    cases.push_back({good.substr(0, good.size() - 1), "pixels run past"});
    s = good;
    Put32(s, 10, 0xFFFFFFF0u);
    cases.push_back({s, "pixels run past"});
    s = good;
    Put32(s, 18, 0x7FFFFFFF);
    Put32(s, 22, 0x7FFFFFFF);
    cases.push_back({s, "too large"});
    std::string palette(8, '\0');
    s = MakeBmp(1, 1, 8, std::string(4, '\0'), palette);
    Put32(s, 46, 200);
    cases.push_back({s, "palette runs past"});
    s = MakeBmp(1, 1, 32, std::string(4, '\0'), "", 3);
    cases.push_back({s, "masks run past"});
    // Run-length data: the second row never comes; a top-down encoded bitmap.
    cases.push_back({MakeBmp(2, 2, 8, std::string{2, 1, 0, 0}, palette, 1), "ends before"});
    cases.push_back({MakeBmp(2, 2, 8, std::string{2, 1, 0, 0, 2}, palette, 1), "ends before"});
    cases.push_back({MakeBmp(2, 2, 8, std::string{2, 1, 0, 2, 1}, palette, 1), "ends before"});
    cases.push_back({MakeBmp(2, 2, 8, std::string{0, 3, 1, 1}, palette, 1), "ends before"});
    cases.push_back({MakeBmp(2, -2, 8, std::string{0, 1}, palette, 1), "top-down"});

    for (const Case& c : cases) {
        Bitmap b;
        std::string why;
        EXPECT_FALSE(Decode(c.file, &b, &why)) << c.reason;
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }
    EXPECT_EQ(CreateBitmapFromBmp(reinterpret_cast<const uint8_t*>(good.data()), 10), nullptr);
    EXPECT_NE(LastImageError().find("too short"), std::string::npos);
}

TEST(GdiBitmaps, EmbeddedBitmapsHaveTheirSizes) {
    const struct {
        uint16_t id;
        int width, height;
    } expected[] = {
        {IDB_GAUGE_GREEN, 100, 10},  {IDB_GAUGE_BLUE, 100, 10}, {IDB_GAUGE_RED, 100, 10},
        {IDB_GAUGE_YELLOW, 100, 10}, {IDB_CROSSHAIR, 64, 64},   {IDB_FONT_7X11, 658, 11},
        {IDB_FONT_8X14, 752, 14},    {IDB_FONT_7X12, 658, 12},  {IDB_FONT_749, 749, 14}};
    for (const auto& e : expected) {
        HANDLE h =
            LoadImageA(nullptr, MAKEINTRESOURCEA(e.id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
        ASSERT_NE(h, nullptr) << e.id;
        BITMAP info{};
        EXPECT_EQ(GetObjectA(static_cast<HGDIOBJ>(h), sizeof(BITMAP), &info),
                  static_cast<int>(sizeof(BITMAP)));
        EXPECT_EQ(info.bmWidth, e.width) << e.id;
        EXPECT_EQ(info.bmHeight, e.height) << e.id;
        EXPECT_TRUE(DeleteObject(static_cast<HGDIOBJ>(h)));
    }
    EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(999), IMAGE_BITMAP, 0, 0, 0), nullptr);
    EXPECT_NE(LastImageError().find("999"), std::string::npos);
}

TEST(GdiBitmaps, GaugeBarIsStripedAndFontsAreWhiteOnMagenta) {
    HANDLE h = LoadImageA(nullptr, MAKEINTRESOURCEA(IDB_GAUGE_YELLOW), IMAGE_BITMAP, 0, 0, 0);
    ASSERT_NE(h, nullptr);
    const Bitmap* bar = BitmapFromHandle(static_cast<HGDIOBJ>(h));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(bar->pixels[y * 100 + x], x % 2 ? 0xFF00FFu : 0xFFFF00u) << x << "," << y;
    DeleteObject(static_cast<HGDIOBJ>(h));

    h = LoadImageA(nullptr, MAKEINTRESOURCEA(IDB_FONT_7X12), IMAGE_BITMAP, 0, 0, 0);
    ASSERT_NE(h, nullptr);
    const Bitmap* font = BitmapFromHandle(static_cast<HGDIOBJ>(h));
    // Every glyph cell has some white and only white or magenta.
    for (int cell = 0; cell < 94; ++cell) {
        int white = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = cell * 7; x < cell * 7 + 7; ++x) {
                const uint32_t p = font->pixels[y * 658 + x];
                ASSERT_TRUE(p == 0xFFFFFFu || p == 0xFF00FFu);
                white += p == 0xFFFFFFu;
            }
        EXPECT_GT(white, 0) << "glyph " << static_cast<char>(33 + cell);
    }
    DeleteObject(static_cast<HGDIOBJ>(h));
}

class GdiFileTest : public testing_support::TempDirTest {};

TEST_F(GdiFileTest, LoadsFromFileAndCopiesIntoEveryFormatWithTheKey) {
    testing_support::WriteFile("pic.bmp", TwoByTwo(true));
    HANDLE h = LoadImageA(nullptr, "pic.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    ASSERT_NE(h, nullptr) << LastImageError();
    EXPECT_EQ(LoadImageA(nullptr, "missing.bmp", IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE), nullptr);
    EXPECT_NE(LastImageError().find("missing.bmp"), std::string::npos);

    HDC memory = CreateCompatibleDC(nullptr);
    ASSERT_NE(memory, nullptr);
    SelectObject(memory, static_cast<HGDIOBJ>(h));
    const struct {
        PixelKind kind;
        uint32_t key, red;
    } formats[] = {{PixelKind::RGB565, 0xF81F, 0xF800},
                   {PixelKind::RGB555, 0x7C1F, 0x7C00},
                   {PixelKind::XRGB8888, 0x00FF00FF, 0x00FF0000},
                   {PixelKind::Pal8, 255, PackRGB(PixelKind::Pal8, 255, 0, 0)}};
    for (const auto& f : formats) {
        EXPECT_EQ(PackRGB(f.kind, 255, 0, 255) == f.key, f.kind != PixelKind::Pal8);
        uint32_t pixels[3 * 3] = {};
        DeviceContext surface;
        surface.kind = DcKind::Surface;
        surface.target = PixelBuffer{pixels, 3 * 4, 3, 3, f.kind};
        // Equal sizes, placed at (1, 1): the bitmap's right column and bottom row fall off.
        ASSERT_TRUE(StretchBlt(ToHandle(&surface), 1, 1, 2, 2, memory, 0, 0, 2, 2, SRCCOPY));
        auto at = [&](int x, int y) -> uint32_t {
            const uint8_t* row = reinterpret_cast<const uint8_t*>(pixels) + y * 12;
            switch (BytesPerPixel(f.kind)) {
                case 1:
                    return row[x];
                case 2: {
                    uint16_t v;
                    std::memcpy(&v, row + 2 * x, 2);
                    return v;
                }
                default: {
                    uint32_t v;
                    std::memcpy(&v, row + 4 * x, 4);
                    return v;
                }
            }
        };
        EXPECT_EQ(at(1, 1), f.red);
        EXPECT_EQ(at(2, 2), f.key);
        EXPECT_EQ(at(0, 0), 0u);
    }
    // White is not confused with the key in 8 bits.
    EXPECT_EQ(BitmapColourToPixel(PixelKind::Pal8, 0xFFFFFF), 254u);
    EXPECT_TRUE(DeleteDC(memory));
    EXPECT_FALSE(DeleteDC(memory));
    EXPECT_TRUE(DeleteObject(static_cast<HGDIOBJ>(h)));
    EXPECT_FALSE(DeleteObject(static_cast<HGDIOBJ>(h)));
}

TEST(GdiBitmaps, FaultHooksFailTheThreeCalls) {
    FailCall("LoadImageA", 1, E_FAIL);
    EXPECT_EQ(LoadImageA(nullptr, MAKEINTRESOURCEA(IDB_CROSSHAIR), IMAGE_BITMAP, 0, 0, 0), nullptr);
    FailCall("CreateCompatibleDC", 1, E_FAIL);
    EXPECT_EQ(CreateCompatibleDC(nullptr), nullptr);

    HANDLE h = LoadImageA(nullptr, MAKEINTRESOURCEA(IDB_CROSSHAIR), IMAGE_BITMAP, 0, 0, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    SelectObject(memory, static_cast<HGDIOBJ>(h));
    uint16_t pixels[4] = {};
    DeviceContext surface;
    surface.target = PixelBuffer{pixels, 4, 2, 2, PixelKind::RGB565};
    FailCall("StretchBlt", 1, E_FAIL);
    EXPECT_FALSE(StretchBlt(ToHandle(&surface), 0, 0, 2, 2, memory, 0, 0, 2, 2, SRCCOPY));
    EXPECT_TRUE(StretchBlt(ToHandle(&surface), 0, 0, 2, 2, memory, 0, 0, 2, 2, SRCCOPY));
    ResetHooks();
    DeleteDC(memory);
    DeleteObject(static_cast<HGDIOBJ>(h));
}
