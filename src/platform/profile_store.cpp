#include "platform/profile_store.h"

#include "platform/profile_key.h"

#include <mutex>

namespace platform {

namespace {

std::mutex& keyMutex() {
    static std::mutex m;
    return m;
}

std::string& registryKey() {
    static std::string key;
    return key;
}

} // namespace

void SetRegistryKey(const std::string& key) {
    std::lock_guard<std::mutex> lock(keyMutex());
    registryKey() = key;
}

std::string detail::RegistryKey() {
    std::lock_guard<std::mutex> lock(keyMutex());
    return registryKey();
}

} // namespace platform
