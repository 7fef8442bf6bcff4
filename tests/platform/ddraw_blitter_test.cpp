// The vector paths of the blitter against its scalar reference, on random pixels with odd
// widths, odd start addresses and pitches wider than the rows.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <vector>

#include "platform/soft/ddraw/blit.h"
#include "platform/soft/ddraw/pixels.h"

using platform::blit::ConstRows;
using platform::blit::Isa;
using platform::blit::Rows;

namespace {

std::vector<Isa> VectorPaths() {
    std::vector<Isa> paths;
    if (platform::blit::DetectIsa() >= Isa::SSE2)
        paths.push_back(Isa::SSE2);
    if (platform::blit::DetectIsa() >= Isa::AVX2)
        paths.push_back(Isa::AVX2);
    return paths;
}

// A random rectangle inside a buffer with guard bytes around it, so a write outside the
// rectangle shows up as a difference.
struct Case {
    int width, height, bpp, offset, pitch;
    std::vector<uint8_t> bytes;
    uint8_t* at() { return bytes.data() + offset; }
};

Case RandomCase(std::mt19937& rng, int bpp, int width, int height, uint32_t key) {
    Case c;
    c.width = width;
    c.height = height;
    c.bpp = bpp;
    // Offsets stay whole pixels but vary against every vector width.
    c.offset = static_cast<int>(rng() % 32) / bpp * bpp;
    c.pitch = width * bpp + static_cast<int>(rng() % 3) * bpp * 5;
    c.bytes.resize(static_cast<size_t>(c.offset + c.pitch * height + 64));
    for (size_t i = 0; i < c.bytes.size(); i += static_cast<size_t>(bpp)) {
        uint32_t v = rng() % 3 == 0 ? key : rng();
        for (int b = 0; b < bpp && i + static_cast<size_t>(b) < c.bytes.size(); ++b)
            c.bytes[i + static_cast<size_t>(b)] = static_cast<uint8_t>(v >> (8 * b));
    }
    return c;
}

// Widths around every vector size, plus long rows.
const int kWidths[] = {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 100, 257};

}  // namespace

TEST(Blitter, KeyedCopiesOnEveryPathMatchTheScalarReference) {
    std::mt19937 rng(42);
    for (Isa isa : VectorPaths()) {
        for (int bpp : {1, 2, 4}) {
            for (int width : kWidths) {
                const int height = 1 + static_cast<int>(rng() % 5);
                const uint32_t key = rng();
                const uint32_t keyMasked = bpp == 4 ? key : key & ((1u << (8 * bpp)) - 1);
                Case src = RandomCase(rng, bpp, width, height, keyMasked);
                Case dst = RandomCase(rng, bpp, width, height, keyMasked);
                dst.pitch = src.pitch;  // equal pitches let whole surfaces run as one row
                dst.bytes.resize(static_cast<size_t>(dst.offset + dst.pitch * height + 64));
                for (bool keyDest : {false, true}) {
                    Case want = dst;
                    Case got = dst;
                    auto run = [&](Isa path, Case& d) {
                        if (keyDest)
                            platform::blit::CopyKeyDest(path, Rows{d.at(), d.pitch},
                                                        ConstRows{src.at(), src.pitch}, width,
                                                        height, bpp, key);
                        else
                            platform::blit::CopyKeySrc(path, Rows{d.at(), d.pitch},
                                                       ConstRows{src.at(), src.pitch}, width,
                                                       height, bpp, key);
                    };
                    run(Isa::Scalar, want);
                    run(isa, got);
                    ASSERT_EQ(got.bytes, want.bytes)
                        << "path " << static_cast<int>(isa) << " bpp " << bpp << " width " << width
                        << " dest key " << keyDest;
                }
            }
        }
    }
}

TEST(Blitter, FillsOnEveryPathMatchTheScalarReference) {
    std::mt19937 rng(5);
    // Past the vector sizes, rows around the length where fills turn to string stores.
    std::vector<int> widths(std::begin(kWidths), std::end(kWidths));
    widths.insert(widths.end(), {511, 512, 513, 1023, 1029, 2051});
    for (Isa isa : VectorPaths()) {
        for (int bpp : {1, 2, 4}) {
            for (int width : widths) {
                for (uint32_t value : {static_cast<uint32_t>(rng()), 0x00000000u, 0xABABABABu}) {
                    const int height = 1 + static_cast<int>(rng() % 4);
                    Case want = RandomCase(rng, bpp, width, height, 0);
                    Case got = want;
                    platform::blit::Fill(Isa::Scalar, Rows{want.at(), want.pitch}, width, height,
                                         bpp, value);
                    platform::blit::Fill(isa, Rows{got.at(), got.pitch}, width, height, bpp, value);
                    ASSERT_EQ(got.bytes, want.bytes)
                        << "path " << static_cast<int>(isa) << " bpp " << bpp << " width " << width;
                }
            }
        }
    }
    // Long rows starting at every byte offset from an 8-byte boundary, against a byte model
    // (the scalar reference would store misaligned pixels).
    for (Isa isa : VectorPaths()) {
        for (int bpp : {2, 4}) {
            for (int offset = 0; offset < 8; ++offset) {
                const int width = 1029, bytes = width * bpp;
                const uint32_t value = rng();
                std::vector<uint8_t> got(static_cast<size_t>(bytes + 16), 0x5A), want = got;
                for (int i = 0; i < bytes; ++i)
                    want[static_cast<size_t>(offset + i)] =
                        static_cast<uint8_t>(value >> (8 * (i % bpp)));
                platform::blit::Fill(isa, Rows{got.data() + offset, bytes}, width, 1, bpp, value);
                ASSERT_EQ(got, want)
                    << "path " << static_cast<int>(isa) << " bpp " << bpp << " offset " << offset;
            }
        }
    }
}

// The vector paths widen each field by multiplication: all 65,536 values, both formats.
TEST(Blitter, EveryPixelValueConvertsLikeTheReference) {
    std::vector<uint16_t> all(65536);
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = static_cast<uint16_t>(i);
    for (Isa isa : VectorPaths()) {
        platform::blit::ForceIsa(isa);
        for (platform::PixelKind kind :
             {platform::PixelKind::RGB565, platform::PixelKind::RGB555}) {
            const platform::PixelView view{all.data(), 256 * 2, 256, 256, kind};
            std::vector<uint32_t> want(all.size()), got(all.size());
            platform::ConvertToXRGB8888Scalar(view, want.data(), 256 * 4);
            platform::ConvertToXRGB8888(view, got.data(), 256 * 4);
            ASSERT_EQ(got, want) << "path " << static_cast<int>(isa);
        }
    }
}

TEST(Blitter, ConversionToXrgbOnEveryPathMatchesTheReference) {
    std::mt19937 rng(8);
    for (Isa isa : VectorPaths()) {
        platform::blit::ForceIsa(isa);
        for (platform::PixelKind kind :
             {platform::PixelKind::RGB565, platform::PixelKind::RGB555}) {
            for (int width : kWidths) {
                const int height = 1 + static_cast<int>(rng() % 4);
                Case src = RandomCase(rng, 2, width, height, 0);
                const int dstPitch = width * 4 + static_cast<int>(rng() % 2) * 12;
                std::vector<uint32_t> want(static_cast<size_t>(dstPitch / 4 * height + 8), 7);
                std::vector<uint32_t> got = want;
                const platform::PixelView view{src.at(), src.pitch, width, height, kind};
                platform::ConvertToXRGB8888Scalar(view, want.data(), dstPitch);
                platform::ConvertToXRGB8888(view, got.data(), dstPitch);
                ASSERT_EQ(got, want) << "path " << static_cast<int>(isa) << " width " << width;
            }
        }
    }
    // Full intensity stays full: white converts to 0x00FFFFFF in both 16-bit formats.
    const uint16_t white565 = 0xFFFF, white555 = 0x7FFF;
    uint32_t out = 0;
    platform::ConvertToXRGB8888({&white565, 2, 1, 1, platform::PixelKind::RGB565}, &out, 4);
    EXPECT_EQ(out, 0x00FFFFFFu);
    platform::ConvertToXRGB8888({&white555, 2, 1, 1, platform::PixelKind::RGB555}, &out, 4);
    EXPECT_EQ(out, 0x00FFFFFFu);
}

TEST(Blitter, ForcingAPathTheProcessorLacksFallsBackToTheBest) {
    const Isa best = platform::blit::DetectIsa();
    EXPECT_EQ(platform::blit::ForceIsa(Isa::AVX2), best);
    EXPECT_EQ(platform::blit::ForceIsa(Isa::Scalar), Isa::Scalar);
    EXPECT_EQ(platform::blit::ActiveIsa(), Isa::Scalar);
}

TEST(Blitter, RunCopiesOnEveryPathMatchTheScalarReference) {
    std::mt19937 rng(77);
    for (Isa isa : VectorPaths()) {
        for (int bpp : {1, 2, 4}) {
            const int width = 150, height = 6;
            // Runs of every length from 1 to 70 pixels with gaps between them.
            std::vector<uint32_t> runs;
            std::vector<uint32_t> rowRuns;
            for (int y = 0; y < height; ++y) {
                rowRuns.push_back(static_cast<uint32_t>(runs.size()));
                int x = static_cast<int>(rng() % 3);
                while (true) {
                    const int len = 1 + static_cast<int>(rng() % 70);
                    if (x + len > width)
                        break;
                    runs.push_back(static_cast<uint32_t>(x) | (static_cast<uint32_t>(len) << 16));
                    x += len + 1 + static_cast<int>(rng() % 4);
                }
            }
            rowRuns.push_back(static_cast<uint32_t>(runs.size()));
            Case src = RandomCase(rng, bpp, width, height, 0);
            for (auto [left, right] : {std::pair{0, width}, std::pair{7, 93}, std::pair{33, 34}}) {
                Case want = RandomCase(rng, bpp, right - left, height - 1, 0);
                Case got = want;
                const platform::blit::RunTable table{runs.data(), rowRuns.data()};
                platform::blit::CopyRuns(Isa::Scalar, Rows{want.at(), want.pitch},
                                         ConstRows{src.at(), src.pitch}, table, left, 1, right,
                                         height, bpp);
                platform::blit::CopyRuns(isa, Rows{got.at(), got.pitch},
                                         ConstRows{src.at(), src.pitch}, table, left, 1, right,
                                         height, bpp);
                ASSERT_EQ(got.bytes, want.bytes) << "path " << static_cast<int>(isa) << " bpp "
                                                 << bpp << " columns " << left << ".." << right;
            }
        }
    }
}
