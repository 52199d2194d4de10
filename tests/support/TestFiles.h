// Whole-file access for tests.
#pragma once

#include <filesystem>
#include <string>

namespace cdk_test {

// The bytes of a file, unchanged (no line-end translation); empty when it cannot be read.
// The narrow form opens the name as the program's own file functions would (the ANSI code page
// on Windows), the path form by its native name.
std::string readFile(const std::string& path);
std::string readFile(const std::filesystem::path& path);

}  // namespace cdk_test
