#include "TestFiles.h"

#include <fstream>
#include <sstream>

namespace cdk_test {

namespace {

std::string contents(std::ifstream& in) {
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return contents(in);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return contents(in);
}

}  // namespace cdk_test
