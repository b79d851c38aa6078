#include "platform/page_memory.h"

#include "platform/native.h"

#include <new>
#include <utility>

namespace platform {

PageMemory::PageMemory(std::size_t size) : size_(size) {
    if (size == 0)
        return;
    data_ = static_cast<std::uint8_t*>(native::AllocatePages(size));
    if (data_ == nullptr)
        throw std::bad_alloc();
}

PageMemory::PageMemory(PageMemory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

PageMemory& PageMemory::operator=(PageMemory&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
    }
    return *this;
}

PageMemory::~PageMemory() {
    release();
}

void PageMemory::release() noexcept {
    native::ReleasePages(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

} // namespace platform
