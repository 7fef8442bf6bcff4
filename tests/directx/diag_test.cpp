// The run log, the fatal-error path, the reporters and the result-code names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/appstate.h"
#include "directx/diag.h"
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
    // The report is on disk before the window goes (a run may end there).
    std::string fileWhenTheWindowWent = "(the window never went)";
    backend_->onDestroyWindow = [&] { fileWhenTheWindowWent = ReadFile("out.err"); };
    ReportDirectDrawError(DDERR_SURFACELOST, "app", 173);
    const std::string expected = "DirectDraw Error DDERR_SURFACELOST\nin file app at line 173\r\n";
    EXPECT_EQ(fileWhenTheWindowWent, expected);
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

// The names the reports print, written down code by code for each reporter's table.
struct NamedCode {
    uint32_t code;
    const char* name;
};

// Two rows a line, as the tables are read.
// clang-format off
const NamedCode kDirectDrawNames[] = {
    {0x80004001u, "DDERR_UNSUPPORTED"}, {0x80004005u, "DDERR_GENERIC"},
    {0x800401F0u, "DDERR_NOTINITIALIZED"}, {0x8007000Eu, "DDERR_OUTOFMEMORY"},
    {0x80070057u, "DDERR_INVALIDPARAMS"}, {0x88760005u, "DDERR_ALREADYINITIALIZED"},
    {0x8876000Au, "DDERR_CANNOTATTACHSURFACE"}, {0x88760014u, "DDERR_CANNOTDETACHSURFACE"},
    {0x88760028u, "DDERR_CURRENTLYNOTAVAIL"}, {0x88760037u, "DDERR_EXCEPTION"},
    {0x8876005Au, "DDERR_HEIGHTALIGN"}, {0x8876005Fu, "DDERR_INCOMPATIBLEPRIMARY"},
    {0x88760064u, "DDERR_INVALIDCAPS"}, {0x8876006Eu, "DDERR_INVALIDCLIPLIST"},
    {0x88760078u, "DDERR_INVALIDMODE"}, {0x88760082u, "DDERR_INVALIDOBJECT"},
    {0x88760091u, "DDERR_INVALIDPIXELFORMAT"}, {0x88760096u, "DDERR_INVALIDRECT"},
    {0x887600A0u, "DDERR_LOCKEDSURFACES"}, {0x887600AAu, "DDERR_NO3D"},
    {0x887600B4u, "DDERR_NOALPHAHW"}, {0x887600CDu, "DDERR_NOCLIPLIST"},
    {0x887600D2u, "DDERR_NOCOLORCONVHW"}, {0x887600D4u, "DDERR_NOCOOPERATIVELEVELSET"},
    {0x887600D7u, "DDERR_NOCOLORKEY"}, {0x887600DCu, "DDERR_NOCOLORKEYHW"},
    {0x887600DEu, "DDERR_NODIRECTDRAWSUPPORT"}, {0x887600E1u, "DDERR_NOEXCLUSIVEMODE"},
    {0x887600E6u, "DDERR_NOFLIPHW"}, {0x887600F0u, "DDERR_NOGDI"},
    {0x887600FAu, "DDERR_NOMIRRORHW"}, {0x887600FFu, "DDERR_NOTFOUND"},
    {0x88760104u, "DDERR_NOOVERLAYHW"}, {0x88760118u, "DDERR_NORASTEROPHW"},
    {0x88760122u, "DDERR_NOROTATIONHW"}, {0x88760136u, "DDERR_NOSTRETCHHW"},
    {0x8876013Cu, "DDERR_NOT4BITCOLOR"}, {0x8876013Du, "DDERR_NOT4BITCOLORINDEX"},
    {0x88760140u, "DDERR_NOT8BITCOLOR"}, {0x8876014Au, "DDERR_NOTEXTUREHW"},
    {0x8876014Fu, "DDERR_NOVSYNCHW"}, {0x88760154u, "DDERR_NOZBUFFERHW"},
    {0x8876015Eu, "DDERR_NOZOVERLAYHW"}, {0x88760168u, "DDERR_OUTOFCAPS"},
    {0x8876017Cu, "DDERR_OUTOFVIDEOMEMORY"}, {0x8876017Eu, "DDERR_OVERLAYCANTCLIP"},
    {0x88760180u, "DDERR_OVERLAYCOLORKEYONLYONEACTIVE"}, {0x88760183u, "DDERR_PALETTEBUSY"},
    {0x88760190u, "DDERR_COLORKEYNOTSET"}, {0x8876019Au, "DDERR_SURFACEALREADYATTACHED"},
    {0x887601A4u, "DDERR_SURFACEALREADYDEPENDENT"}, {0x887601AEu, "DDERR_SURFACEBUSY"},
    {0x887601B3u, "DDERR_CANTLOCKSURFACE"}, {0x887601B8u, "DDERR_SURFACEISOBSCURED"},
    {0x887601C2u, "DDERR_SURFACELOST"}, {0x887601CCu, "DDERR_SURFACENOTATTACHED"},
    {0x887601D6u, "DDERR_TOOBIGHEIGHT"}, {0x887601E0u, "DDERR_TOOBIGSIZE"},
    {0x887601EAu, "DDERR_TOOBIGWIDTH"}, {0x887601FEu, "DDERR_UNSUPPORTEDFORMAT"},
    {0x88760208u, "DDERR_UNSUPPORTEDMASK"}, {0x88760219u, "DDERR_VERTICALBLANKINPROGRESS"},
    {0x8876021Cu, "DDERR_WASSTILLDRAWING"}, {0x88760230u, "DDERR_XALIGN"},
    {0x88760231u, "DDERR_INVALIDDIRECTDRAWGUID"}, {0x88760232u, "DDERR_DIRECTDRAWALREADYCREATED"},
    {0x88760233u, "DDERR_NODIRECTDRAWHW"}, {0x88760234u, "DDERR_PRIMARYSURFACEALREADYEXISTS"},
    {0x88760235u, "DDERR_NOEMULATION"}, {0x88760236u, "DDERR_REGIONTOOSMALL"},
    {0x88760237u, "DDERR_CLIPPERISUSINGHWND"}, {0x88760238u, "DDERR_NOCLIPPERATTACHED"},
    {0x88760239u, "DDERR_NOHWND"}, {0x8876023Au, "DDERR_HWNDSUBCLASSED"},
    {0x8876023Bu, "DDERR_HWNDALREADYSET"}, {0x8876023Cu, "DDERR_NOPALETTEATTACHED"},
    {0x8876023Du, "DDERR_NOPALETTEHW"}, {0x8876023Eu, "DDERR_BLTFASTCANTCLIP"},
    {0x8876023Fu, "DDERR_NOBLTHW"}, {0x88760240u, "DDERR_NODDROPSHW"},
    {0x88760241u, "DDERR_OVERLAYNOTVISIBLE"}, {0x88760242u, "DDERR_NOOVERLAYDEST"},
    {0x88760243u, "DDERR_INVALIDPOSITION"}, {0x88760244u, "DDERR_NOTAOVERLAYSURFACE"},
    {0x88760245u, "DDERR_EXCLUSIVEMODEALREADYSET"}, {0x88760246u, "DDERR_NOTFLIPPABLE"},
    {0x88760247u, "DDERR_CANTDUPLICATE"}, {0x88760248u, "DDERR_NOTLOCKED"},
    {0x88760249u, "DDERR_CANTCREATEDC"}, {0x8876024Au, "DDERR_NODC"},
    {0x8876024Bu, "DDERR_WRONGMODE"}, {0x8876024Cu, "DDERR_IMPLICITLYCREATED"},
    {0x8876024Du, "DDERR_NOTPALETTIZED"}, {0x8876024Eu, "DDERR_UNSUPPORTEDMODE"},
    {0x8876024Fu, "DDERR_NOMIPMAPHW"}, {0x88760250u, "DDERR_INVALIDSURFACETYPE"},
    {0x8876026Cu, "DDERR_DCALREADYCREATED"}, {0x88760280u, "DDERR_CANTPAGELOCK"},
    {0x88760294u, "DDERR_CANTPAGEUNLOCK"}, {0x887602A8u, "DDERR_NOTPAGELOCKED"},
};
const NamedCode kDirect3DNames[] = {
    {0x887602BCu, "D3DERR_BADMAJORVERSION"}, {0x887602BDu, "D3DERR_BADMINORVERSION"},
    {0x887602C1u, "D3DERR_INVALID_DEVICE"}, {0x887602C2u, "D3DERR_INITFAILED"},
    {0x887602C3u, "D3DERR_DEVICEAGGREGATED"}, {0x887602C6u, "D3DERR_EXECUTE_CREATE_FAILED"},
    {0x887602C7u, "D3DERR_EXECUTE_DESTROY_FAILED"}, {0x887602C8u, "D3DERR_EXECUTE_LOCK_FAILED"},
    {0x887602C9u, "D3DERR_EXECUTE_UNLOCK_FAILED"}, {0x887602CAu, "D3DERR_EXECUTE_LOCKED"},
    {0x887602CBu, "D3DERR_EXECUTE_NOT_LOCKED"}, {0x887602CCu, "D3DERR_EXECUTE_FAILED"},
    {0x887602CDu, "D3DERR_EXECUTE_CLIPPED_FAILED"}, {0x887602D0u, "D3DERR_TEXTURE_NO_SUPPORT"},
    {0x887602D1u, "D3DERR_TEXTURE_CREATE_FAILED"}, {0x887602D2u, "D3DERR_TEXTURE_DESTROY_FAILED"},
    {0x887602D3u, "D3DERR_TEXTURE_LOCK_FAILED"}, {0x887602D4u, "D3DERR_TEXTURE_UNLOCK_FAILED"},
    {0x887602D5u, "D3DERR_TEXTURE_LOAD_FAILED"}, {0x887602D6u, "D3DERR_TEXTURE_SWAP_FAILED"},
    {0x887602D7u, "D3DERR_TEXTURE_LOCKED"}, {0x887602D8u, "D3DERR_TEXTURE_NOT_LOCKED"},
    {0x887602D9u, "D3DERR_TEXTURE_GETSURF_FAILED"}, {0x887602DAu, "D3DERR_MATRIX_CREATE_FAILED"},
    {0x887602DBu, "D3DERR_MATRIX_DESTROY_FAILED"}, {0x887602DCu, "D3DERR_MATRIX_SETDATA_FAILED"},
    {0x887602DDu, "D3DERR_MATRIX_GETDATA_FAILED"}, {0x887602DEu, "D3DERR_SETVIEWPORTDATA_FAILED"},
    {0x887602DFu, "D3DERR_INVALIDCURRENTVIEWPORT"}, {0x887602E0u, "D3DERR_INVALIDPRIMITIVETYPE"},
    {0x887602E1u, "D3DERR_INVALIDVERTEXTYPE"}, {0x887602E2u, "D3DERR_TEXTURE_BADSIZE"},
    {0x887602E3u, "D3DERR_INVALIDRAMPTEXTURE"}, {0x887602E4u, "D3DERR_MATERIAL_CREATE_FAILED"},
    {0x887602E5u, "D3DERR_MATERIAL_GETDATA_FAILED"},
    {0x887602E6u, "D3DERR_MATERIAL_SETDATA_FAILED"}, {0x887602E7u, "DDERR_INVALIDPARAMS"},
    {0x887602E8u, "D3DERR_INVALIDPALETTE"}, {0x887602E9u, "D3DERR_ZBUFF_NEEDS_SYSTEMMEMORY"},
    {0x887602EAu, "D3DERR_ZBUFF_NEEDS_VIDEOMEMORY"}, {0x887602EBu, "D3DERR_SURFACENOTINVIDMEM"},
    {0x887602EEu, "D3DERR_LIGHT_SET_FAILED"}, {0x887602EFu, "D3DERR_LIGHTHASVIEWPORT"},
    {0x887602F0u, "D3DERR_LIGHTNOTINTHISVIEWPORT"}, {0x887602F8u, "D3DERR_SCENE_IN_SCENE"},
    {0x887602F9u, "D3DERR_SCENE_NOT_IN_SCENE"}, {0x887602FAu, "D3DERR_SCENE_BEGIN_FAILED"},
    {0x887602FBu, "D3DERR_SCENE_END_FAILED"}, {0x88760302u, "D3DERR_INBEGIN"},
    {0x88760303u, "D3DERR_NOTINBEGIN"}, {0x88760304u, "D3DERR_NOVIEWPORTS"},
    {0x88760305u, "D3DERR_VIEWPORTDATANOTSET"}, {0x88760306u, "D3DERR_VIEWPORTHASNODEVICE"},
    {0x88760307u, "D3DERR_NOCURRENTVIEWPORT"}, {0x88760800u, "D3DERR_INVALIDVERTEXFORMAT"},
    {0x88760802u, "D3DERR_COLORKEYATTACHED"}, {0x8876080Cu, "D3DERR_VERTEXBUFFEROPTIMIZED"},
    {0x8876080Du, "D3DERR_VBUF_CREATE_FAILED"}, {0x8876080Eu, "D3DERR_VERTEXBUFFERLOCKED"},
    {0x88760816u, "D3DERR_ZBUFFER_NOTPRESENT"}, {0x88760817u, "D3DERR_STENCILBUFFER_NOTPRESENT"},
    {0x88760818u, "D3DERR_WRONGTEXTUREFORMAT"}, {0x88760819u, "D3DERR_UNSUPPORTEDCOLOROPERATION"},
    {0x8876081Au, "D3DERR_UNSUPPORTEDCOLORARG"}, {0x8876081Bu, "D3DERR_UNSUPPORTEDALPHAOPERATION"},
    {0x8876081Cu, "D3DERR_UNSUPPORTEDALPHAARG"}, {0x8876081Du, "D3DERR_TOOMANYOPERATIONS"},
    {0x8876081Eu, "D3DERR_CONFLICTINGTEXTUREFILTER"},
    {0x8876081Fu, "D3DERR_UNSUPPORTEDFACTORVALUE"}, {0x88760821u, "D3DERR_CONFLICTINGRENDERSTATE"},
    {0x88760822u, "D3DERR_UNSUPPORTEDTEXTUREFILTER"}, {0x88760823u, "D3DERR_TOOMANYPRIMITIVES"},
    {0x88760824u, "D3DERR_INVALIDMATRIX"}, {0x88760826u, "D3DERR_CONFLICTINGTEXTUREPALETTE"},
};
// clang-format on

const char* NameIn(const NamedCode* rows, size_t count, uint32_t code) {
    for (size_t i = 0; i < count; ++i)
        if (rows[i].code == code)
            return rows[i].name;
    return "Unknown Error";
}

// Every listed code names its own row, in its reporter's table only; every other code tried
// (the whole 0x8876 code space up to 4095, near misses of each listed code, success and
// other generic results) names "Unknown Error". The table follows the reporter, not the code.
TEST(ErrorNames, EveryRowOfBothTablesAndNothingElse) {
    static_assert(std::size(kDirectDrawNames) == 100 && std::size(kDirect3DNames) == 74);
    std::vector<uint32_t> codes = {0, 1, 0x80004002u, 0x80004003u, 0x8007000Du, 0x80070058u};
    for (uint32_t offset = 0; offset < 0x1000; ++offset)
        codes.push_back(0x88760000u + offset);
    auto withNearMisses = [&codes](uint32_t code) {
        codes.insert(codes.end(), {code, code ^ 0x80000000u, code + 0x10000u});
    };
    for (const NamedCode& row : kDirectDrawNames)
        withNearMisses(row.code);
    for (const NamedCode& row : kDirect3DNames)
        withNearMisses(row.code);
    for (uint32_t code : codes) {
        const HRESULT result = static_cast<HRESULT>(code);
        EXPECT_STREQ(DirectDrawErrorName(result),
                     NameIn(kDirectDrawNames, std::size(kDirectDrawNames), code))
            << std::hex << code;
        EXPECT_STREQ(Direct3DErrorName(result),
                     NameIn(kDirect3DNames, std::size(kDirect3DNames), code))
            << std::hex << code;
    }
}

}  // namespace
