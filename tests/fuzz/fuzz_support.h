#pragma once

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

// What every fuzz target shares: a check that stops the run with a report (the
// fuzzer then saves the input that broke it), and access to the repository's
// example files.
namespace fuzz {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}

// A file of the source tree, e.g. "examples/refirm.LOC".
inline std::string sourceFile(const std::string& relative) {
    return std::string(REFIRM_SOURCE_DIR) + "/" + relative;
}

inline std::optional<std::vector<unsigned char>> readBytes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return std::nullopt;
    std::vector<unsigned char> bytes;
    unsigned char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    return bytes;
}

} // namespace fuzz

#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : ::fuzz::fail(#condition, __FILE__, __LINE__))
