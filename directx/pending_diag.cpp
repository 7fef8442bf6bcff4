// Transitional: the diagnostics layer is not built yet. Removed when it lands.
#include <cstdarg>
#include <cstdio>

#include "directx/diag.h"

FILE* RunLog = nullptr;
int fatalErrorOccurred = 0;
char fatalMessage[2048];
char errorName[256];
char errorReport[1024];
char scratchText[1024];

void RunLogPrintf(const char* format, ...) {
    if (!RunLog)
        return;
    va_list ap;
    va_start(ap, format);
    vfprintf(RunLog, format, ap);
    va_end(ap);
    fflush(RunLog);
}
void FatalError(const char*, ...) {
    fatalErrorOccurred = 1;
}
void ReportDirectDrawError(HRESULT, const char*, int) {
    fatalErrorOccurred = 1;
}
void ReportDirect3DError(HRESULT, const char*, int) {
    fatalErrorOccurred = 1;
}
void ReportFileError(const char*, int) {
    fatalErrorOccurred = 1;
}
