#include "fuzz_support.h"

#include "platform/system_info.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace fuzz_support {

namespace {

std::string& scratchDirectory() {
    static std::string directory;
    return directory;
}

void removeScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(scratchDirectory(), ignored);
}

const std::string& makeScratchDirectory() {
    std::string& directory = scratchDirectory();
    if (!directory.empty())
        return directory;
    // Memory-backed when the system has it: every input is written to a file.
    const char* base = std::getenv("TMPDIR");
    std::string parent = base != nullptr && *base != '\0' ? base : "/tmp";
    if (::access("/dev/shm", W_OK) == 0)
        parent = "/dev/shm";
    std::string pattern = parent + "/refirm-fuzz-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr)
        Fail(__FILE__, __LINE__, "cannot make a temporary directory from " + pattern);
    directory = pattern;
    std::atexit(removeScratchDirectory);
    return directory;
}

} // namespace

void Fail(const char* file, int line, const std::string& what) {
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what.c_str());
    std::fflush(stderr);
    std::abort();
}

std::string ScratchFile(const std::string& name) {
    return makeScratchDirectory() + "/" + name;
}

void WriteFile(const std::string& path, const void* data, std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        Fail(__FILE__, __LINE__, "cannot write " + path);
    const bool written = size == 0 || std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written)
        Fail(__FILE__, __LINE__, "cannot write " + path);
}

void UseScratchTexts() {
    // "1033=English" in UTF-16LE: a table with one line and no translations.
    static const char kTable[] = "\xFF\xFE"
                                 "1\0"
                                 "0\0"
                                 "3\0"
                                 "3\0"
                                 "=\0"
                                 "E\0"
                                 "n\0"
                                 "g\0"
                                 "l\0"
                                 "i\0"
                                 "s\0"
                                 "h\0";
    WriteFile(ScratchFile("refirm.LOC"), kTable, sizeof kTable - 1);
    platform::SetModuleFileNameOverride(ScratchFile("refirm"));
}

std::string Hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

} // namespace fuzz_support
