// Checks that the platform headers we write ourselves (platform/*.h) agree with the Windows
// toolchain's headers: every constant's value, every structure's size and field offsets,
// every enumeration's and simple typedef's size, for the 32-bit (i686) and the 64-bit
// (x86_64) layouts.
//
// The list of names is read from our headers, so whatever is added there later is checked
// too. A generated listing is compiled with the cross compilers twice per layout, once
// against our headers and once against the toolchain's; the values land in a data section
// of the object, which the toolchain's objdump prints back. Our headers are compiled by
// the cross compiler as well, so a pointer or a handle has the size it has on Windows.
//
//   header_check SOURCE_DIR WORK_DIR
//
// Exit code: 0 all equal, 1 differences (each listed), 77 no cross compiler (skipped).
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Names our headers define for the platform layer's own use, with no counterpart in the
// toolchain's headers.
const std::set<std::string> kOwnNames = {
    "DDCAPS::dwOther",     // stands for the 57 fields we do not use; ddsCaps after it is checked
    "DIRECTDRAW_VERSION",  // asked of the toolchain's headers in the Windows build only
};

struct Entry {
    std::string label;  // what the line in the report says, e.g. "offsetof(RECT, top)"
    std::string expr;   // the C++ expression whose value is compared
    bool isFloat = false;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The text without comments; line structure kept.
std::string StripComments(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "//") == 0) {
            while (i < text.size() && text[i] != '\n')
                ++i;
            out += '\n';
        } else if (text.compare(i, 2, "/*") == 0) {
            size_t end = text.find("*/", i + 2);
            i = end == std::string::npos ? text.size() : end + 1;
            out += ' ';
        } else {
            out += text[i];
        }
    }
    return out;
}

// Index of the brace matching the one at `open`.
size_t MatchingBrace(const std::string& text, size_t open) {
    int depth = 0;
    for (size_t i = open; i < text.size(); ++i) {
        if (text[i] == '{')
            ++depth;
        else if (text[i] == '}' && --depth == 0)
            return i;
    }
    return text.size();
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    size_t e = s.find_last_not_of(" \t\r\n");
    return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

bool IsOwnName(const std::string& name) {
    // kName: the layer's own constants.
    if (name.size() > 1 && name[0] == 'k' && isupper(static_cast<unsigned char>(name[1])))
        return true;
    return kOwnNames.count(name) != 0;
}

class HeaderScan {
public:
    std::vector<Entry> entries;
    int constants = 0, structures = 0, fields = 0, types = 0;

    void Scan(const std::string& raw) {
        std::string text = StripComments(raw);
        ScanMacros(text);
        // Blank out preprocessor lines and the platform layer's own namespaces.
        std::string code;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            code += (Trim(line).rfind('#', 0) == 0 ? std::string() : line) + '\n';
        static const std::regex ns(R"(namespace\s+\w+\s*\{)");
        for (std::smatch m; std::regex_search(code, m, ns);) {
            size_t open = m.position(0) + m.length(0) - 1;
            size_t close = MatchingBrace(code, open);
            code.erase(m.position(0), close + 1 - m.position(0));
        }
        ScanStructs(code);
        ScanEnums(code);
        ScanConstants(code);
        ScanTypedefs(code);
    }

private:
    void Add(const std::string& label, const std::string& expr, bool isFloat = false) {
        entries.push_back({label, expr, isFloat});
    }

    void ScanMacros(const std::string& text) {
        // Object-like macros with a value; function-like ones are not values.
        static const std::regex def(R"(^[ \t]*#[ \t]*define[ \t]+(\w+)[ \t]+(\S.*)$)");
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            std::smatch m;
            if (!std::regex_match(line, m, def) || IsOwnName(m[1]))
                continue;
            Add(m[1].str(), "(unsigned long long)(uintptr_t)(" + m[1].str() + ")");
            ++constants;
        }
    }

    void ScanStructs(const std::string& code) {
        // Records and unions alike; a nested record without a name lends its fields to the
        // outer one, as the language does.
        static const std::regex head(R"(\b(?:struct|union)\s+(\w+)\s*\{)");
        for (auto it = std::sregex_iterator(code.begin(), code.end(), head);
             it != std::sregex_iterator(); ++it) {
            const std::string name = (*it)[1];
            size_t open = it->position(0) + it->length(0) - 1;
            std::string body = code.substr(open + 1, MatchingBrace(code, open) - open - 1);
            // Interfaces (methods) are not records.
            if (body.find('(') != std::string::npos || IsOwnName(name))
                continue;
            ++structures;
            Add("sizeof(" + name + ")", "sizeof(" + name + ")");
            std::stringstream decls(body);
            for (std::string decl; std::getline(decls, decl, ';');) {
                decl = Trim(decl);
                if (decl.empty())
                    continue;
                // "TYPE a, b[4], c": the first declarator's name ends the first part.
                std::vector<std::string> parts;
                std::stringstream split(decl);
                for (std::string p; std::getline(split, p, ',');)
                    parts.push_back(Trim(p));
                static const std::regex lastName(R"((\w+)\s*(\[[^\]]*\])?$)");
                for (const std::string& p : parts) {
                    std::smatch m;
                    if (!std::regex_search(p, m, lastName))
                        continue;
                    const std::string field = m[1];
                    if (IsOwnName(name + "::" + field))
                        continue;
                    Add("offsetof(" + name + ", " + field + ")",
                        "offsetof(" + name + ", " + field + ")");
                    ++fields;
                }
            }
        }
    }

    void ScanEnums(const std::string& code) {
        static const std::regex head(R"(\benum\s+(class\s+)?(\w+)\s*(:\s*\w+\s*)?\{([^}]*)\})");
        for (auto it = std::sregex_iterator(code.begin(), code.end(), head);
             it != std::sregex_iterator(); ++it) {
            if ((*it)[1].matched)
                continue;
            const std::string name = (*it)[2];
            if (!IsOwnName(name)) {
                Add("sizeof(" + name + ")", "sizeof(" + name + ")");
                ++types;
            }
            std::stringstream members((*it)[4].str());
            for (std::string member; std::getline(members, member, ',');) {
                std::string id = Trim(member.substr(0, member.find('=')));
                if (id.empty() || IsOwnName(id))
                    continue;
                Add(id, "(unsigned long long)(long long)(" + id + ")");
                ++constants;
            }
        }
    }

    void ScanConstants(const std::string& code) {
        static const std::regex def(R"(\bconstexpr\s+([\w:]+)\s+(\w+)\s*=)");
        for (auto it = std::sregex_iterator(code.begin(), code.end(), def);
             it != std::sregex_iterator(); ++it) {
            const std::string type = (*it)[1], name = (*it)[2];
            if (IsOwnName(name))
                continue;
            const bool isFloat = type == "float" || type == "double" || type == "D3DVALUE";
            Add(name,
                isFloat ? "(double)(" + name + ")"
                        : "(unsigned long long)(long long)(" + name + ")",
                isFloat);
            ++constants;
        }
    }

    void ScanTypedefs(const std::string& code) {
        // "typedef TYPE NAME;" without function-pointer parentheses.
        static const std::regex def(R"(\btypedef\s+([^;(){}]+?)[\s*&]+(\w+)\s*;)");
        for (auto it = std::sregex_iterator(code.begin(), code.end(), def);
             it != std::sregex_iterator(); ++it) {
            const std::string name = (*it)[2];
            if (IsOwnName(name))
                continue;
            Add("sizeof(" + name + ")", "sizeof(" + name + ")");
            ++types;
        }
    }
};

int Run(const std::string& command, std::string* output = nullptr) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, n);
    int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool OnPath(const std::string& tool) {
    return Run("command -v " + tool) == 0;
}

// The bytes of `section` in `object`, as objdump -s prints them.
bool SectionBytes(const std::string& objdump, const std::string& object, const std::string& section,
                  std::vector<unsigned char>* bytes) {
    std::string dump;
    if (Run(objdump + " -s -j " + section + " " + object, &dump) != 0)
        return false;
    std::istringstream lines(dump);
    bool inSection = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("Contents of section", 0) == 0) {
            inSection = true;
            continue;
        }
        if (!inSection || line.size() < 7 || line[0] != ' ')
            continue;
        // " ADDR HHHHHHHH HHHHHHHH HHHHHHHH HHHHHHHH  ascii": the hex groups are the 36
        // characters after the address.
        size_t start = line.find(' ', 1);
        std::string hex = line.substr(start + 1, 36);
        std::string digits;
        for (char c : hex)
            if (c != ' ')
                digits += c;
        for (size_t i = 0; i + 1 < digits.size(); i += 2)
            bytes->push_back(
                static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return inSection;
}

struct Values {
    std::vector<unsigned long long> ints;
    std::vector<double> floats;
};

// Compiles the listing with `compiler` against `prelude` and reads the values back.
bool Extract(const std::string& compiler, const std::string& objdump, const std::string& source,
             const std::string& workDir, const std::string& tag, const std::string& prelude,
             const std::vector<Entry>& entries, Values* values) {
    std::string listing = prelude + "#include <cstddef>\n#include <cstdint>\n";
    std::string ints, floats;
    for (const Entry& e : entries)
        (e.isFloat ? floats : ints) += "    " + e.expr + ",\n";
    listing +=
        "extern \"C\" __attribute__((used, section(\".hcint\"))) const unsigned long long "
        "hc_int[] = {\n" +
        ints + "};\n";
    listing +=
        "extern \"C\" __attribute__((used, section(\".hcflt\"))) const double "
        "hc_flt[] = {\n" +
        floats + "    0.0};\n";
    const std::string cpp = workDir + "/" + tag + ".cpp", obj = workDir + "/" + tag + ".o";
    std::ofstream(cpp) << listing;
    std::string out;
    if (Run(compiler + " -std=gnu++17 -O2 -w -c -I" + source + " " + cpp + " -o " + obj, &out) !=
        0) {
        fprintf(stderr, "%s: the listing does not compile (%s):\n%s\n", tag.c_str(), cpp.c_str(),
                out.c_str());
        return false;
    }
    // A value that is not a constant would be computed at start-up and read here as 0.
    Run(objdump + " -h " + obj, &out);
    if (out.find(".ctors") != std::string::npos || out.find(".init_array") != std::string::npos) {
        fprintf(stderr, "%s: some value is not a compile-time constant (see %s)\n", tag.c_str(),
                cpp.c_str());
        return false;
    }
    std::vector<unsigned char> bytes;
    if (!SectionBytes(objdump, obj, ".hcint", &bytes) || bytes.size() % 8 != 0)
        return false;
    for (size_t i = 0; i < bytes.size(); i += 8) {
        unsigned long long v = 0;
        for (int b = 7; b >= 0; --b)
            v = (v << 8) | bytes[i + b];
        values->ints.push_back(v);
    }
    bytes.clear();
    if (!SectionBytes(objdump, obj, ".hcflt", &bytes) || bytes.size() % 8 != 0)
        return false;
    for (size_t i = 0; i < bytes.size(); i += 8) {
        unsigned long long v = 0;
        for (int b = 7; b >= 0; --b)
            v = (v << 8) | bytes[i + b];
        double d;
        memcpy(&d, &v, sizeof d);
        values->floats.push_back(d);
    }
    return true;
}

std::string Show(unsigned long long v) {
    char text[64];
    if (v > 0xFFFF)
        snprintf(text, sizeof text, "0x%llx", v);
    else
        snprintf(text, sizeof text, "%llu", v);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: header_check SOURCE_DIR WORK_DIR\n");
        return 2;
    }
    const std::string source = argv[1], workDir = argv[2];
    const std::vector<std::string> arches = {"i686", "x86_64"};
    for (const std::string& arch : arches) {
        for (const char* tool : {"-g++", "-objdump"}) {
            if (!OnPath(arch + "-w64-mingw32" + tool)) {
                printf("SKIP: %s-w64-mingw32%s not found (install mingw-w64)\n", arch.c_str(),
                       tool);
                return 77;
            }
        }
    }
    Run("mkdir -p " + workDir);

    HeaderScan scan;
    // The cross compiler defines _WIN32, which would make our headers take the toolchain's
    // own: the standard headers come first, then our headers see the software platform.
    std::string ours =
        "#include <cmath>\n#include <cstdarg>\n#include <cstddef>\n#include <cstdint>\n"
        "#include <functional>\n#include <string>\n#include <vector>\n#undef _WIN32\n";
    std::string listDir;
    Run("ls " + source + "/platform/*.h", &listDir);
    std::istringstream headers(listDir);
    for (std::string path; std::getline(headers, path);) {
        if (path.find("/backend.h") != std::string::npos)
            continue;  // the window-system backend: the layer's own interface
        scan.Scan(ReadFile(path));
        ours += "#include \"" + path.substr(source.size() + 1) + "\"\n";
    }
    const std::string toolchain =
        "#define DIRECTDRAW_VERSION 0x0600\n#define DIRECT3D_VERSION 0x0600\n"
        "#include <windows.h>\n#include <ddraw.h>\n#include <d3d.h>\n#include <math.h>\n"
        "#include <float.h>\n";

    int differences = 0;
    for (const std::string& arch : arches) {
        const std::string compiler = arch + "-w64-mingw32-g++",
                          objdump = arch + "-w64-mingw32-objdump";
        Values mine, theirs;
        if (!Extract(compiler, objdump, source, workDir, arch + "_ours", ours, scan.entries,
                     &mine) ||
            !Extract(compiler, objdump, source, workDir, arch + "_toolchain", toolchain,
                     scan.entries, &theirs))
            return 1;
        size_t i = 0, f = 0;
        for (const Entry& e : scan.entries) {
            if (e.isFloat) {
                if (mine.floats[f] != theirs.floats[f]) {
                    printf("%s %s: ours %.9g, toolchain %.9g\n", arch.c_str(), e.label.c_str(),
                           mine.floats[f], theirs.floats[f]);
                    ++differences;
                }
                ++f;
            } else {
                if (mine.ints[i] != theirs.ints[i]) {
                    printf("%s %s: ours %s, toolchain %s\n", arch.c_str(), e.label.c_str(),
                           Show(mine.ints[i]).c_str(), Show(theirs.ints[i]).c_str());
                    ++differences;
                }
                ++i;
            }
        }
    }
    printf(
        "checked %d constants, %d structures with %d fields, %d type sizes on i686 and "
        "x86_64: %d differences\n",
        scan.constants, scan.structures, scan.fields, scan.types, differences);
    return differences == 0 ? 0 : 1;
}
