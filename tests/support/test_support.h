// Helpers shared by the tests: a fresh temporary working folder per test, and small file
// utilities.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testing_support {

// Creates a temporary folder, makes it the working directory, and removes it afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir_;
    std::string oldDir_;
};

std::string ReadFile(const std::string& path);  // whole file, binary; "" when missing
bool FileExists(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace testing_support
