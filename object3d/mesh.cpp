// The mesh loader. A mesh file is text: the vertex count, one "x y z" line per vertex, a
// separator line skipped unread, the face count, one "a b c" line of vertex indices per
// face. Lines are runs of characters other than line feed, so empty lines are passed over
// (a carriage return stays part of its line); the numbers are read with sscanf.
//
// Faulty files are read without any access outside the text or the vertex array:
//  - A count line without a number reads as 0.
//  - A vertex line that is missing (the text ended) or holds fewer than three numbers
//    gives a vertex whose missing coordinates are 0, so the faces still find every vertex
//    they name.
//  - A face line that is missing, holds fewer than three indices, names an index outside
//    0 .. vertex count - 1, or names a vertex with a coordinate that is not a finite number
//    (nan, inf, or too large for a float) is dropped; the remaining faces keep their order.
//  - A count keeps its low 16 bits on purpose (65537 reads as 1, -1 as 65535); a count
//    outside 0 .. 65535 is said in the log with the count used.
//  - The separator line is skipped whatever it holds. One that holds a number is likely the
//    face count itself (the separator missing), and lines left after the last face read are
//    never seen: both are said in the log.
//  - Memory that cannot be had for the text, the vertices or the faces leaves no mesh.
// Each kind of fault writes one line to the run log, so the user can see why a model looks
// wrong (or is missing).
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "directx/diag.h"
#include "directx/load_error.h"
#include "object3d/object3d.h"
#include "platform/base.h"

namespace {

// Every allocation of the loader passes here, so tests can make it fail.
void* MeshAlloc(size_t bytes) {
    if (PLATFORM_HOOK("malloc", "bytes=%zu", bytes) != 0)
        return nullptr;
    return malloc(bytes);
}

void FreeMesh(Object3D* object) {
    free(object->faces);
    free(object->vertices);
    free(object->indices);
    object->faces = nullptr;
    object->vertices = nullptr;
    object->indices = nullptr;
    object->indexCount = 0;
    object->faceCount = 0;
    object->vertexCount = 0;
}

// The lines of a text, one after another, split on line feeds as strtok splits them.
class LineReader {
public:
    explicit LineReader(char* text) : next_(text) {}
    // The next line (NUL-terminated in place), or null once the text has ended.
    char* Next() {
        char* line = strtok_r(next_, "\n", &save_);
        next_ = nullptr;
        return line;
    }

private:
    char* next_;
    char* save_ = nullptr;
};

bool Finite(const MeshVertex& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// A count as the file gives it and as the mesh keeps it: its low 16 bits. It is read wider
// than the 32 bits it is meant to have, so that the log can tell the number the file holds.
struct MeshCount {
    long long inFile = 0;
    uint16_t used() const { return static_cast<uint16_t>(inFile); }
    bool wraps() const { return inFile < 0 || inFile > 65535; }
};

void SayOutOfMemory(const char* name, const char* what, size_t bytes) {
    RunLogPrintf("Mesh %s: not enough memory for %s (%llu bytes); the mesh is empty\n", name, what,
                 static_cast<unsigned long long>(bytes));
}

// Parses NUL-terminated text in place into the object's mesh members and frees the text.
int ParseMeshText(Object3D* object, char* text, const char* name) {
    MeshCount vertexCountRead;
    bool vertexCountFound = sscanf(text, "%lld", &vertexCountRead.inFile) == 1;
    const uint16_t vertexCount = vertexCountRead.used();

    MeshVertex* vertices = nullptr;
    if (vertexCount > 0) {
        vertices = static_cast<MeshVertex*>(MeshAlloc(vertexCount * sizeof(MeshVertex)));
        if (!vertices) {
            free(text);
            SayOutOfMemory(name, "its vertices", vertexCount * sizeof(MeshVertex));
            return 0;
        }
    }

    LineReader lines(text);
    char* line = lines.Next();  // line 1: the vertex count, read above
    if (line)
        line = lines.Next();
    int incompleteVertices = 0;
    for (unsigned i = 0; i < vertexCount; ++i) {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        if (!line || sscanf(line, "%f %f %f", &x, &y, &z) != 3)
            ++incompleteVertices;
        vertices[i] = MeshVertex{x, y, z, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f};
        if (line)
            line = lines.Next();
    }

    // `line` is the separator now, skipped unread; the face count follows it. A separator
    // that reads as a number is most likely the face count of a file without a separator.
    long long separatorNumber = 0;
    const bool separatorIsNumber = line && sscanf(line, "%lld", &separatorNumber) == 1;
    char* countLine = line ? lines.Next() : nullptr;
    MeshCount faceCountRead;
    bool faceCountFound = countLine && sscanf(countLine, "%lld", &faceCountRead.inFile) == 1;
    const uint16_t announcedFaces = faceCountRead.used();

    MeshFace* faces = nullptr;
    if (announcedFaces > 0) {
        faces = static_cast<MeshFace*>(MeshAlloc(announcedFaces * sizeof(MeshFace)));
        if (!faces) {
            free(vertices);
            free(text);
            SayOutOfMemory(name, "its faces", announcedFaces * sizeof(MeshFace));
            return 0;
        }
    }

    line = countLine ? lines.Next() : nullptr;
    unsigned kept = 0;
    for (unsigned j = 0; j < announcedFaces; ++j) {
        int a = 0, b = 0, c = 0;
        bool whole = line && sscanf(line, "%d %d %d", &a, &b, &c) == 3;
        auto valid = [vertexCount, vertices](int index) {
            return index >= 0 && index < vertexCount && Finite(vertices[index]);
        };
        if (whole && valid(a) && valid(b) && valid(c))
            faces[kept++] = MeshFace{a, b, c, 0};
        if (line)
            line = lines.Next();
    }
    unsigned unreadLines = 0;  // not counting lines of white space alone (a lone CR)
    for (; line; line = lines.Next())
        if (line[strspn(line, " \t\r\v\f")] != '\0')
            ++unreadLines;
    free(text);

    if (!vertexCountFound)
        RunLogPrintf("Mesh %s: no vertex count; the mesh has no vertices\n", name);
    if (vertexCountRead.wraps())
        RunLogPrintf("Mesh %s: vertex count %lld does not fit in 16 bits; %u used\n", name,
                     vertexCountRead.inFile, static_cast<unsigned>(vertexCount));
    if (incompleteVertices > 0)
        RunLogPrintf(
            "Mesh %s: %d of %u vertex lines missing or with fewer than three numbers; "
            "their missing coordinates are 0\n",
            name, incompleteVertices, static_cast<unsigned>(vertexCount));
    if (separatorIsNumber)
        RunLogPrintf(
            "Mesh %s: the separator line after the vertices holds the number %lld and was "
            "skipped; the face count was read from the line after it (is the \"-\" line "
            "missing?)\n",
            name, separatorNumber);
    if (!faceCountFound)
        RunLogPrintf("Mesh %s: no face count; the mesh has no faces\n", name);
    if (faceCountRead.wraps())
        RunLogPrintf("Mesh %s: face count %lld does not fit in 16 bits; %u used\n", name,
                     faceCountRead.inFile, static_cast<unsigned>(announcedFaces));
    if (kept < announcedFaces)
        RunLogPrintf(
            "Mesh %s: %u of %u faces dropped (line missing, fewer than three indices, an "
            "index outside the %u vertices, or a vertex not finite)\n",
            name, announcedFaces - kept, static_cast<unsigned>(announcedFaces),
            static_cast<unsigned>(vertexCount));
    if (unreadLines > 0)
        RunLogPrintf("Mesh %s: %u lines after the last of the %u faces were not read\n", name,
                     unreadLines, static_cast<unsigned>(announcedFaces));

    object->vertexCount = vertexCount;
    object->vertices = vertices;
    object->faceCount = static_cast<uint16_t>(kept);
    object->faces = faces;
    // An object drawn indexed gets the new mesh's indices; without them (no memory) it is
    // drawn expanded.
    if (object->drawIndexed)
        BuildIndices(object);
    return 1;
}

}  // namespace

int ParseMesh(Object3D* object, const char* text, size_t length, const char* name) {
    FreeMesh(object);
    char* copy = static_cast<char*>(MeshAlloc(length + 1));
    if (!copy) {
        SayOutOfMemory(name, "its text", length + 1);
        return 0;
    }
    memcpy(copy, text, length);
    copy[length] = '\0';
    return ParseMeshText(object, copy, name);
}

int LoadMesh(Object3D* object, const char* path) {
    FreeMesh(object);
    // A folder (or anything else that is not a regular file) by the mesh's name is
    // refused, and reported as a file that may not be opened for reading.
    // With quiet load errors on, a failure leaves its reason instead of a fatal report.
    int fd = platform::OpenRegularFile(path);
    struct stat info;
    if (fd < 0 || fstat(fd, &info) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        errno = error;
        if (quietLoadErrors)
            SetLoadError(path, "%s", FileFailureReason(error));
        else
            ReportFileError("object3d", 182);
        return 0;
    }
    size_t length = info.st_size > 0 ? static_cast<size_t>(info.st_size) : 0;
    char* text = static_cast<char*>(MeshAlloc(length + 1));
    if (!text) {
        close(fd);
        SayOutOfMemory(path, "its text", length + 1);
        if (quietLoadErrors)
            SetLoadError(path, "out of memory");
        return 0;
    }
    // A read may give fewer bytes than asked (a pipe-like file system): read on until the
    // file's size, its end or an error. The text ends after the last byte read.
    size_t got = 0;
    while (got < length) {
        const ssize_t n = read(fd, text + got, length - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            free(text);
            RunLogPrintf("Mesh %s: the file could not be read (%s)\n", path, strerror(error));
            if (quietLoadErrors)
                SetLoadError(path, "the file could not be read (%s)", strerror(error));
            return 0;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    close(fd);
    text[got] = '\0';
    // A mesh file begins with its vertex count; a quiet load refuses any other file rather
    // than making an empty mesh of it.
    long long vertexCount = 0;
    if (quietLoadErrors && sscanf(text, "%lld", &vertexCount) != 1) {
        free(text);
        SetLoadError(path, "not a mesh file");
        return 0;
    }
    return ParseMeshText(object, text, path);
}
