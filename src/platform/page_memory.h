#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// A run of memory pages of its own, straight from the system and given back to
// it when the object goes: for large storage that is let go of piece by piece
// while the program goes on (the C runtime's heap would keep it). Zero-filled.
// Raises std::bad_alloc when the system has no memory left.
class PageMemory {
public:
    PageMemory() = default;
    explicit PageMemory(std::size_t size);
    PageMemory(PageMemory&& other) noexcept;
    PageMemory& operator=(PageMemory&& other) noexcept;
    PageMemory(const PageMemory&) = delete;
    PageMemory& operator=(const PageMemory&) = delete;
    ~PageMemory();

    std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }

private:
    void release() noexcept;

    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};

} // namespace platform
