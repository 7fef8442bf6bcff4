// Failures of the loads a game makes (sprites from files, meshes, text into a sprite), told
// quietly: while `quietLoadErrors` is set, such a failure shows no box and reports nothing
// fatal; the call fails and leaves its reason, "<what>: <why>", for LastLoadError. The test
// application never sets it, so its loads keep their boxes and fatal reports.
#pragma once

#include <cstddef>

extern int quietLoadErrors;

// Records "`name`: <formatted reason>" as the latest load error (cut at 511 characters).
void SetLoadError(const char* name, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The latest load error, or "" when none has been recorded since ClearLoadError.
const char* LastLoadError();
void ClearLoadError();

// Why the bitmap file at `path` could not be loaded, in a few words: "no such file", "not a
// BMP file", the platform loader's own reason when it gives one, or what the file's header
// says. Written to `out` (`size` bytes, always terminated).
void DescribeBitmapFailure(const char* path, char* out, size_t size);
// Why a file could not be opened, from the error number the open left.
const char* FileFailureReason(int errorNumber);
