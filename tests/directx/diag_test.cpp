// The run log, the fatal-error path, the reporters and the result-code names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "app/app.h"
#include "app/appstate.h"
#include "directx/diag.h"
#include "directx/errnames.h"
#include "platform/backend.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;

class DiagTest : public testing_support::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        backend_ = &platform::UseHeadlessBackend(800, 600);
        AppState.mainWindow = CreateMainWindow(platform::ModuleInstance(), SW_SHOW);
        ASSERT_NE(AppState.mainWindow, nullptr);
    }
    platform::HeadlessBackend* backend_;
};

TEST_F(DiagTest, SurfaceLostReportGoesToTheFileTheBoxAndEndsTheRun) {
    ReportDirectDrawError(DDERR_SURFACELOST, "app", 173);
    const std::string expected = "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173\r\n";
    EXPECT_EQ(fatalErrorOccurred, 1);
    EXPECT_EQ(std::string(fatalMessage), expected);
    EXPECT_STREQ(errorName, "DDERR_SURFACELOST");
    EXPECT_STREQ(errorReport, "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173");
    // Text mode, but no newline translation on this system: the bytes are the message's.
    EXPECT_EQ(ReadFile("out.err"), expected);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text, expected);
    EXPECT_EQ(platform::MessageBoxes()[0].caption, "Error");
    EXPECT_EQ(platform::MessageBoxes()[0].type, MB_OK);
    EXPECT_FALSE(backend_->WindowExists());
    MSG msg;
    EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(DiagTest, SecondFatalErrorOverwritesTheFileButShowsNoSecondBox) {
    testing_support::WriteFile("out.err", std::string(5000, 'x'));  // "w+" truncates
    ReportDirectDrawError(DDERR_SURFACELOST, "app", 173);
    ReportDirect3DError(D3DERR_SCENE_BEGIN_FAILED, "directx", 42);
    const std::string second =
        "Direct3D Error D3DERR_SCENE_BEGIN_FAILED\nin file directx at line 42\r\n";
    EXPECT_EQ(ReadFile("out.err"), second);
    EXPECT_EQ(std::string(fatalMessage), second);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text,
              "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173\r\n");
}

TEST_F(DiagTest, PerCentSignsInAReportPrintLiterally) {
    ReportDirectDrawError(DDERR_SURFACELOST, "dir%s/%d%%x%n", 5);
    EXPECT_EQ(std::string(fatalMessage),
              "DirectDraw Error DDERR_SURFACELOST\nin file dir%s/%d%%x%n at line 5\r\n");
    // FatalError itself keeps its format rules.
    FatalError("value %d%% of %s", 50, "max");
    EXPECT_EQ(std::string(fatalMessage), "value 50% of max\r\n");
}

TEST_F(DiagTest, EveryFileErrorNumberGivesItsMessage) {
    const struct {
        int number;
        const char* message;
    } cases[] = {
        {ENOENT, "File or path not found"},
        {EACCES,
         " Tried to open read-only file for writing, or file's sharing mode does not allow "
         "specified operations, or given path is directory"},
        {EEXIST, "_O_CREAT and _O_EXCL flags specified, but filename already exists"},
        {EINVAL, "Invalid oflag or pmode argument"},
        {EMFILE, "No more file handles available (too many open files)"},
        {0, "Uknown file error"},
        {EIO, "Uknown file error"},
        {ENOSPC, "Uknown file error"},
        {-1, "Uknown file error"},
    };
    for (const auto& c : cases) {
        errno = c.number;
        ReportFileError("object3d", 182);
        EXPECT_STREQ(errorName, c.message) << c.number;
        EXPECT_EQ(std::string(fatalMessage),
                  std::string("File Error ") + c.message + "\nin file object3d at line 182\r\n");
    }
}

TEST_F(DiagTest, MissingFileAfterARealOpen) {
    FILE* f = fopen("ship.xxx", "r");
    ASSERT_EQ(f, nullptr);
    ReportFileError("object3d", 182);
    EXPECT_EQ(ReadFile("out.err"),
              "File Error File or path not found\nin file object3d at line 182\r\n");
}

TEST_F(DiagTest, ReportFileThatCannotBeWrittenStillShowsTheBox) {
    ASSERT_EQ(mkdir("out.err", 0700), 0);
    ReportDirect3DError(D3DERR_INITFAILED, "directx", 9);
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text,
              "Direct3D Error D3DERR_INITFAILED\nin file directx at line 9\r\n");
    EXPECT_FALSE(backend_->WindowExists());
}

TEST_F(DiagTest, ReportFileThatCannotBeWrittenIsSaidOnceOnStandardError) {
    ::testing::internal::CaptureStderr();
    ReportDirect3DError(D3DERR_INITFAILED, "directx", 9);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // written: nothing said
    unlink("out.err");

    ASSERT_EQ(mkdir("out.err", 0700), 0);
    ::testing::internal::CaptureStderr();
    ReportDirect3DError(D3DERR_INITFAILED, "directx", 10);
    ReportDirectDrawError(DDERR_GENERIC, "app", 11);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "Game Library: cannot write the error report \"out.err\" (Is a directory); the "
              "report is only shown.\n");
    // The latest report is still kept for the box.
    EXPECT_STREQ(fatalMessage, "DirectDraw Error DDERR_GENERIC\nin file app at line 11\r\n");
}

TEST_F(DiagTest, LongMessagesAreCutButKeepTheirLineEnd) {
    std::string name(3000, 'n');
    FatalError("%s", name.c_str());
    EXPECT_EQ(strlen(fatalMessage), 1023u + 2u);
    EXPECT_EQ(std::string(fatalMessage + 1023), "\r\n");
    ReportDirectDrawError(DDERR_GENERIC, name.c_str(), 1);
    EXPECT_EQ(strlen(errorReport), 1023u);
}

TEST_F(DiagTest, RunLogLinesAreFlushedOneByOne) {
    ASSERT_TRUE(OpenRunLog());
    RunLogPrintf("line %d\n", 1);
    RunLogPrintf("line %s\n", "two");
    EXPECT_EQ(ReadFile("info.txt"), "line 1\nline two\n");  // still open
    CloseRunLog();
    EXPECT_EQ(RunLog, nullptr);
    ::testing::internal::CaptureStderr();
    RunLogPrintf("after close\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ReadFile("info.txt"), "line 1\nline two\n");
}

TEST_F(DiagTest, RunLogThatCannotBeCreatedIsReportedOnceAndWritersGoOn) {
    ASSERT_EQ(mkdir("info.txt", 0700), 0);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(OpenRunLog());
    RunLogPrintf("first %d\n", 1);
    RunLogPrintf("second\n");
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("info.txt"), std::string::npos);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// A full disk: every write of the three files fails (caps.txt is never written to, so its
// close is made to fail). Each file is said once, and the runs' results stay as they were.
TEST_F(DiagTest, FilesOnAFullDiskAreSaidOnceEach) {
    ASSERT_EQ(symlink("/dev/full", "info.txt"), 0);
    ASSERT_EQ(symlink("/dev/full", "out.err"), 0);
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(OpenRunLog());
    RunLogPrintf("first %d\n", 1);
    RunLogPrintf("second\n");
    CloseRunLog();
    ReportDirect3DError(D3DERR_INITFAILED, "directx", 9);
    ReportDirectDrawError(DDERR_GENERIC, "app", 11);
    for (int i = 0; i < 2; ++i) {
        FILE* caps = fopen("caps.txt", "w+");
        ASSERT_NE(caps, nullptr);
        platform::FailCall("fclose", 1, E_FAIL);
        CloseCapsFile(caps);
        platform::ResetHooks();
    }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Game Library: cannot write the run log \"info.txt\" (No space left on device); "
              "lines may be missing from it.\n"
              "Game Library: cannot write the error report \"out.err\" (No space left on "
              "device); the report is only shown.\n"
              "Game Library: cannot write \"caps.txt\" (Input/output error); going on without "
              "it.\n");
    ASSERT_EQ(platform::MessageBoxes().size(), 1u);
    EXPECT_EQ(platform::MessageBoxes()[0].text,
              "Direct3D Error D3DERR_INITFAILED\nin file directx at line 9\r\n");
    EXPECT_STREQ(fatalMessage, "DirectDraw Error DDERR_GENERIC\nin file app at line 11\r\n");
}

TEST(ErrorNames, TheTableFollowsTheReporter) {
    EXPECT_STREQ(DirectDrawErrorName(E_INVALIDARG), "DDERR_INVALIDPARAMS");
    EXPECT_STREQ(Direct3DErrorName(E_INVALIDARG), "Unknown Error");
    EXPECT_STREQ(DirectDrawErrorName(static_cast<HRESULT>(0x887602BCu)), "Unknown Error");
    EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(0x887602BCu)), "D3DERR_BADMAJORVERSION");
    EXPECT_STREQ(Direct3DErrorName(DDERR_SURFACELOST), "Unknown Error");
    EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(0x887602E7u)), "DDERR_INVALIDPARAMS");
    EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(0x88760825u)), "Unknown Error");
    EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(0x88760824u)), "D3DERR_INVALIDMATRIX");
    EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(0x88760826u)),
                 "D3DERR_CONFLICTINGTEXTUREPALETTE");
    EXPECT_STREQ(DirectDrawErrorName(0), "Unknown Error");
    EXPECT_STREQ(Direct3DErrorName(0), "Unknown Error");
}

TEST(ErrorNames, SampleRowsAndCounts) {
    ASSERT_EQ(DirectDrawErrorNames.count, 100u);
    ASSERT_EQ(Direct3DErrorNames.count, 74u);
    const struct {
        uint32_t code;
        const char* name;
    } dd[] = {{0x80004001u, "DDERR_UNSUPPORTED"},
              {0x800401F0u, "DDERR_NOTINITIALIZED"},
              {0x88760005u, "DDERR_ALREADYINITIALIZED"},
              {0x88760180u, "DDERR_OVERLAYCOLORKEYONLYONEACTIVE"},
              {0x887601C2u, "DDERR_SURFACELOST"},
              {0x88760219u, "DDERR_VERTICALBLANKINPROGRESS"},
              {0x88760250u, "DDERR_INVALIDSURFACETYPE"},
              {0x887602A8u, "DDERR_NOTPAGELOCKED"}};
    for (const auto& r : dd)
        EXPECT_STREQ(DirectDrawErrorName(static_cast<HRESULT>(r.code)), r.name)
            << std::hex << r.code;
    const struct {
        uint32_t code;
        const char* name;
    } d3[] = {{0x887602BDu, "D3DERR_BADMINORVERSION"},
              {0x887602E5u, "D3DERR_MATERIAL_GETDATA_FAILED"},
              {0x887602E6u, "D3DERR_MATERIAL_SETDATA_FAILED"},
              {0x887602F0u, "D3DERR_LIGHTNOTINTHISVIEWPORT"},
              {0x88760800u, "D3DERR_INVALIDVERTEXFORMAT"},
              {0x88760817u, "D3DERR_STENCILBUFFER_NOTPRESENT"}};
    for (const auto& r : d3)
        EXPECT_STREQ(Direct3DErrorName(static_cast<HRESULT>(r.code)), r.name) << std::hex << r.code;
    // Every row is found by its own code, codes are unique, names fit errorName.
    for (const ErrorNameTable* t : {&DirectDrawErrorNames, &Direct3DErrorNames}) {
        for (size_t i = 0; i < t->count; ++i) {
            if (i > 0) {
                EXPECT_LT(t->rows[i - 1].code, t->rows[i].code);
            }
            EXPECT_LE(strlen(t->rows[i].name), 34u);
            const char* found = t == &DirectDrawErrorNames
                                    ? DirectDrawErrorName(static_cast<HRESULT>(t->rows[i].code))
                                    : Direct3DErrorName(static_cast<HRESULT>(t->rows[i].code));
            EXPECT_STREQ(found, t->rows[i].name);
        }
    }
    // The generic COM codes are only in the DirectDraw table, and only five of them.
    int generic = 0;
    for (size_t i = 0; i < DirectDrawErrorNames.count; ++i)
        generic += (DirectDrawErrorNames.rows[i].code >> 16) != 0x8876u;
    EXPECT_EQ(generic, 5);
    for (size_t i = 0; i < Direct3DErrorNames.count; ++i)
        EXPECT_EQ(Direct3DErrorNames.rows[i].code >> 16, 0x8876u);
}

}  // namespace
