// Diagnostics: the run log, the fatal-error path with its report file and message box, the
// three reporters, and the names of the DirectX result codes.
#pragma once

#include <cstdio>

#include "platform/base.h"

extern FILE* RunLog;  // "info.txt"; may be null when it could not be created
extern int fatalErrorOccurred;
extern char fatalMessage[2048];
extern char errorName[256];
extern char errorReport[1024];
extern char scratchText[1024];  // shared message buffer of the sprite error boxes

// Writes one formatted line to the run log and flushes it. Safe when the log could not be
// created (opening it has said so on standard error). The first write, flush or close of
// the log that fails is said once on standard error; the run goes on.
void RunLogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Opens "info.txt" (mode "w") as the run log; the result tells whether it opened. A log that
// cannot be created is said once on standard error here.
bool OpenRunLog();
void CloseRunLog();
// The cause of a failed open of one of the files the run writes ("info.txt", "caps.txt",
// "out.err"; platform::OpenWritableFile) as the messages on standard error give it.
const char* OpenErrorText(int error);
// Closes "caps.txt"; a close that fails is said once on standard error and the run goes on.
void CloseCapsFile(FILE* caps);

void FatalError(const char* format, ...);
void ReportDirectDrawError(HRESULT result, const char* file, int line);
void ReportDirect3DError(HRESULT result, const char* file, int line);
void ReportFileError(const char* file, int line);

const char* DirectDrawErrorName(HRESULT result);
const char* Direct3DErrorName(HRESULT result);
const char* FileErrorMessage(int errorNumber);
