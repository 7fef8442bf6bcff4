// The run log, the fatal-error path and the three reporters.
//
// A fatal error keeps its text in fatalMessage, writes it to "out.err" and destroys the main
// window; the window procedure shows the text in the "Error" box while the window goes, and
// posts the quit message. The caller carries on and returns its own failure value.
#include "directx/diag.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "app/appstate.h"
#include "platform/win.h"

FILE* RunLog = nullptr;
int fatalErrorOccurred = 0;
char fatalMessage[2048];
char errorName[256];
char errorReport[1024];
char scratchText[1024];

namespace {

// Each file the run writes says its first failure once on standard error (a missing log, a
// failed write, flush or close alike) and the run goes on.
bool runLogFailureSaid = false;
bool runLogClosed = false;  // closed at shutdown: later lines are dropped quietly

void SayRunLogMissing(int error) {
    if (runLogFailureSaid)
        return;
    runLogFailureSaid = true;
    if (error != 0)
        fprintf(stderr,
                "Game Library: cannot create the run log \"info.txt\" (%s); running without "
                "it.\n",
                OpenErrorText(error));
    else
        fprintf(stderr,
                "Game Library: the run log \"info.txt\" is not open; running without it.\n");
}

void SayRunLogNotWritten(int error) {
    if (runLogFailureSaid)
        return;
    runLogFailureSaid = true;
    fprintf(stderr,
            "Game Library: cannot write the run log \"info.txt\" (%s); lines may be missing "
            "from it.\n",
            strerror(error));
}

// The report is still shown in the box; standard error says once per run that the file
// could not be written (not created, or its write or close failed), however many reports
// follow.
bool errorReportFailureSaid = false;

void SayErrorReportNotWritten(int error) {
    if (errorReportFailureSaid)
        return;
    errorReportFailureSaid = true;
    fprintf(stderr,
            "Game Library: cannot write the error report \"out.err\" (%s); the report is only "
            "shown.\n",
            OpenErrorText(error));
}

bool capsCloseFailureSaid = false;

// fclose, which tests can make fail: the stream is closed all the same and the close reports
// an input/output error, as a disk that fails under the buffered data would.
int CloseFile(FILE* file, const char* name) {
    if (PLATFORM_HOOK("fclose", "file=%s", name) != 0) {
        fclose(file);
        errno = EIO;
        return EOF;
    }
    return fclose(file);
}

}  // namespace

const char* OpenErrorText(int error) {
    return error == EOPNOTSUPP ? "neither a regular file nor a device" : strerror(error);
}

void CloseCapsFile(FILE* caps) {
    if (CloseFile(caps, "caps.txt") == 0 || capsCloseFailureSaid)
        return;
    capsCloseFailureSaid = true;
    fprintf(stderr, "Game Library: cannot write \"caps.txt\" (%s); going on without it.\n",
            strerror(errno));
}

bool OpenRunLog() {
    if (RunLog != nullptr)
        fclose(RunLog);
    runLogClosed = false;
    RunLog = platform::OpenWritableFile("info.txt", "w");
    if (RunLog == nullptr) {
        SayRunLogMissing(errno);
        return false;
    }
    return true;
}

void CloseRunLog() {
    if (RunLog != nullptr && CloseFile(RunLog, "info.txt") != 0)
        SayRunLogNotWritten(errno);
    RunLog = nullptr;
    runLogClosed = true;
}

void RunLogPrintf(const char* format, ...) {
    if (RunLog == nullptr) {
        if (!runLogClosed)
            SayRunLogMissing(0);
        return;
    }
    va_list ap;
    va_start(ap, format);
    const int written = vfprintf(RunLog, format, ap);
    va_end(ap);
    if (fflush(RunLog) != 0 || written < 0)
        SayRunLogNotWritten(errno);
}

void FatalError(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    wvsprintfA(fatalMessage, format, ap);  // at most 1024 characters: room for the CR LF
    va_end(ap);
    lstrcatA(fatalMessage, "\r\n");
    fatalErrorOccurred = 1;

    // Text mode: where the platform translates newlines (Windows) every line feed is written
    // CR LF, so the file ends CR CR LF; elsewhere it holds exactly the message's characters.
    FILE* out = platform::OpenWritableFile("out.err", "w+");
    if (out != nullptr) {
        const bool written = fputs(fatalMessage, out) >= 0;
        const int writeError = errno;
        if (CloseFile(out, "out.err") != 0)
            SayErrorReportNotWritten(errno);
        else if (!written)
            SayErrorReportNotWritten(writeError);
    } else {
        SayErrorReportNotWritten(errno);
    }

    // The window procedure shows the box and posts the quit message inside this call.
    DestroyWindow(AppState.mainWindow);
}

namespace {

void Report(const char* format, const char* name, const char* file, int line) {
    snprintf(errorName, sizeof errorName, "%s", name);
    wsprintfA(errorReport, format, errorName, file ? file : "", line);
    // The finished report is text: per-cent signs in a name or file print as they are.
    FatalError("%s", errorReport);
}

}  // namespace

const char* FileErrorMessage(int errorNumber) {
    switch (errorNumber) {
        case ENOENT:
            return "File or path not found";
        case EACCES:
            return " Tried to open read-only file for writing, or file's sharing mode does not "
                   "allow specified operations, or given path is directory";
        case EEXIST:
            return "_O_CREAT and _O_EXCL flags specified, but filename already exists";
        case EINVAL:
            return "Invalid oflag or pmode argument";
        case EMFILE:
            return "No more file handles available (too many open files)";
        default:
            return "Uknown file error";
    }
}

void ReportDirectDrawError(HRESULT result, const char* file, int line) {
    Report("DirectDraw Error %s\nin file %s at line %d", DirectDrawErrorName(result), file, line);
}

void ReportDirect3DError(HRESULT result, const char* file, int line) {
    Report("Direct3D Error %s\nin file %s at line %d", Direct3DErrorName(result), file, line);
}

void ReportFileError(const char* file, int line) {
    int error = errno;  // first, before anything else can change it
    Report("File Error %s\nin file %s at line %d", FileErrorMessage(error), file, line);
}
