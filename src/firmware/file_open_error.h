#pragma once

#include <cstdint>

// Raised when an image file cannot be opened or read; carries the Windows error
// code of the failure (2 for a missing file, 5 for access denied, ...).
class CFileOpenError {
public:
    explicit CFileOpenError(std::uint32_t code) : code_(code) {}
    std::uint32_t code() const { return code_; }

private:
    std::uint32_t code_;
};
