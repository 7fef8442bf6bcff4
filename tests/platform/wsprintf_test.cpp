#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>

#include "platform/win.h"

namespace {

// Through wvsprintfA, so the compiler does not check these formats as printf's: some cases
// are deliberately outside printf's dialect.
std::string Format(const char* format, ...) {
    char buf[1100];
    memset(buf, 'Z', sizeof buf);
    va_list ap;
    va_start(ap, format);
    int n = wvsprintfA(buf, format, ap);
    va_end(ap);
    EXPECT_EQ(n, static_cast<int>(strlen(buf)));
    return buf;
}

TEST(Wsprintf, TheHudFormats) {
    EXPECT_EQ(Format("Avg fps %03d", 7), "Avg fps 007");
    EXPECT_EQ(Format("Avg fps %03d", 1234), "Avg fps 1234");
    EXPECT_EQ(Format("pos x: %05d   y: %05d   y: %05d", 0, -12, 200),
              "pos x: 00000   y: -0012   y: 00200");
    EXPECT_EQ(Format("mode: %03dx%03dx%02d", 640, 480, 16), "mode: 640x480x16");
    EXPECT_EQ(Format("%05d", -2147483647 - 1), "-2147483648");
    EXPECT_EQ(Format("%s|%s", "a%sb", "c"), "a%sb|c");
}

TEST(Wsprintf, FlagsWidthPrecisionAndTypes) {
    EXPECT_EQ(Format("[%5d][%-5d][%-05d]", 42, 42, 42), "[   42][42   ][42   ]");
    EXPECT_EQ(Format("[%.3d][%6.3d][%06.3d]", 7, -7, 7), "[007][  -007][   007]");
    EXPECT_EQ(Format("%u %i", 4294967295u, -5), "4294967295 -5");
    EXPECT_EQ(Format("%x %X %08X %#x", 255u, 255u, 0xBEEFu, 26u), "ff FF 0000BEEF 0x1a");
    EXPECT_EQ(Format("%ld %lu %lx", -3L, 3000000000UL, 0xABCL), "-3 3000000000 abc");
    EXPECT_EQ(Format("%hd %hu %hx", 70000, 70000, 0x12345), "4464 4464 2345");
    EXPECT_EQ(Format("[%c][%3c][%-3c]", 'a', 'b', 'c'), "[a][  b][c  ]");
    EXPECT_EQ(Format("[%s][%6s][%-6s][%.2s]", "abc", "abc", "abc", "abc"),
              "[abc][   abc][abc   ][ab]");
    EXPECT_EQ(Format("100%% %q"), "100% q");
    EXPECT_EQ(Format("%s", static_cast<const char*>(nullptr)), "(null)");
}

TEST(Wsprintf, OutputIsCutAt1024IncludingTheTerminator) {
    std::string big(2000, 'x');
    char buf[1100];
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(wsprintfA(buf, "%s", big.c_str()), 1023);
    EXPECT_EQ(buf[1023], '\0');
    EXPECT_EQ(buf[1024], 'Z');
    memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(wsprintfA(buf, "%2000d", 5), 1023);
    EXPECT_EQ(buf[1024], 'Z');
    EXPECT_EQ(std::string(buf + 1020), "   ");
}

TEST(Wsprintf, LstrcatAppends) {
    char buf[16] = "ab";
    EXPECT_EQ(lstrcatA(buf, "\r\n"), buf);
    EXPECT_STREQ(buf, "ab\r\n");
}

}  // namespace
