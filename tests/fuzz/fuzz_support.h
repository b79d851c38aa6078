#pragma once

// What every fuzz target shares: a reader that takes typed values off the
// front of the input, a check that stops the run with a message, and the one
// temporary directory of the process for the targets that need a file path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz_support {

// Takes values off the front of the fuzz input; past its end every value is 0
// and every run of bytes is empty, so that any input decodes to something.
class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(u8() << 8 | u8()); }
    std::uint32_t u32() { return std::uint32_t{u16()} << 16 | u16(); }
    bool flag() { return (u8() & 1) != 0; }

    std::vector<std::uint8_t> bytes(std::size_t n) {
        n = std::min(n, left());
        std::vector<std::uint8_t> out(data_ + pos_, data_ + pos_ + n);
        pos_ += n;
        return out;
    }
    std::vector<std::uint8_t> rest() { return bytes(left()); }

    std::size_t left() const { return size_ - pos_; }
    bool empty() const { return left() == 0; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// Prints where and why a check failed, then aborts, which libFuzzer reports
// as a crash and saves the input for.
[[noreturn]] void Fail(const char* file, int line, const std::string& what);

// A file of that name in the process's own temporary directory, which is
// made on first use and removed, with everything in it, when the process
// exits normally.
std::string ScratchFile(const std::string& name);

void WriteFile(const std::string& path, const void* data, std::size_t size);
inline void WriteFile(const std::string& path, std::string_view text) {
    WriteFile(path, text.data(), text.size());
}

std::string Hex(std::uint32_t value);

// Makes the program's texts come from a small localisation file in the
// temporary directory, so that translating never searches for one.
void UseScratchTexts();

} // namespace fuzz_support

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::fuzz_support::Fail(__FILE__, __LINE__, std::string(#condition) + ": " + (what));     \
    } while (false)
