#include "support/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

void TempDirTest::SetUp() {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd))
        oldDir_ = cwd;
    char tmpl[] = "/tmp/gamelib-test-XXXXXX";
    char* made = mkdtemp(tmpl);
    ASSERT_NE(made, nullptr);
    dir_ = made;
    ASSERT_EQ(chdir(dir_.c_str()), 0);
}

void TempDirTest::TearDown() {
    if (!oldDir_.empty() && chdir(oldDir_.c_str()) != 0)
        perror("chdir");
    std::error_code ec;
    // Folders a test made read-only must become writable again to be removed. Links are
    // passed over: chmod would change what they point to (a device such as /dev/full).
    for (auto& entry : std::filesystem::recursive_directory_iterator(dir_, ec))
        if (!entry.is_symlink(ec))
            chmod(entry.path().c_str(), 0700);
    chmod(dir_.c_str(), 0700);
    std::filesystem::remove_all(dir_, ec);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return "";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

}  // namespace testing_support
