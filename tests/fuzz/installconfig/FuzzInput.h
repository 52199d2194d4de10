// What the install configuration's fuzz targets share: the property check that ends the run
// with its reason, and the argument vector an input stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace fuzz_input {

inline void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

// "setup.exe" and then the input's bytes split at NUL bytes, one argument each.
inline std::vector<std::string> argumentsOf(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments{"setup.exe"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    arguments.push_back(current);
    return arguments;
}

// The argv of `arguments`, which must outlive it.
inline std::vector<const char*> argvOf(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    return argv;
}

}  // namespace fuzz_input
