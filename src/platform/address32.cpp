#include "platform/address32.h"

#include <map>
#include <mutex>

namespace platform {

namespace {

constexpr bool kPointersFit = sizeof(void*) <= sizeof(std::uint32_t);

struct AddressMap {
    std::mutex lock;
    std::map<std::uint32_t, void*> buffers;
    std::uint32_t next = 0x10000;
};

AddressMap& addressMap() {
    static AddressMap map;
    return map;
}

} // namespace

Address32::Address32(const void* buffer) : value_(0) {
    if (buffer == nullptr)
        return;
    if constexpr (kPointersFit) {
        value_ = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(buffer));
    } else {
        auto& map = addressMap();
        std::lock_guard<std::mutex> guard(map.lock);
        do {
            value_ = map.next;
            map.next += 0x10;
            if (map.next < 0x10000)
                map.next = 0x10000;
        } while (map.buffers.count(value_) != 0);
        map.buffers.emplace(value_, const_cast<void*>(buffer));
    }
}

Address32::~Address32() {
    if constexpr (!kPointersFit) {
        if (value_ == 0)
            return;
        auto& map = addressMap();
        std::lock_guard<std::mutex> guard(map.lock);
        map.buffers.erase(value_);
    }
}

void* ResolveAddress32(std::uint32_t value) {
    if (value == 0)
        return nullptr;
    if constexpr (kPointersFit) {
        return reinterpret_cast<void*>(static_cast<std::uintptr_t>(value));
    } else {
        auto& map = addressMap();
        std::lock_guard<std::mutex> guard(map.lock);
        auto it = map.buffers.find(value);
        return it == map.buffers.end() ? nullptr : it->second;
    }
}

} // namespace platform
