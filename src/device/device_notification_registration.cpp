#include "device/device_notification_registration.h"

#include "platform/device_notification.h"
#include "platform/module_loader.h"

#include <cstring>

namespace {

bool ntPlatform() {
    platform::OSVERSIONINFOA version;
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return platform::GetVersionExA(&version) != 0 &&
           version.dwPlatformId == platform::VER_PLATFORM_WIN32_NT;
}

} // namespace

CDeviceNotificationRegistration::~CDeviceNotificationRegistration() {
    unregister();
    if (user32_ != nullptr)
        platform::FreeLibrary(user32_);
}

bool CDeviceNotificationRegistration::loadFunctions() {
    if (user32_ == nullptr)
        user32_ = platform::LoadLibraryA("user32.dll");
    if (user32_ == nullptr)
        return false;
    register_ = reinterpret_cast<RegisterFunction>(
        platform::GetProcAddress(user32_, "RegisterDeviceNotificationA"));
    unregister_ = reinterpret_cast<UnregisterFunction>(
        platform::GetProcAddress(user32_, "UnregisterDeviceNotification"));
    return register_ != nullptr && unregister_ != nullptr;
}

bool CDeviceNotificationRegistration::registerWindow(platform::HWND window) {
    unregister();
    if (!ntPlatform() || !loadFunctions())
        return false;
    platform::DEV_BROADCAST_DEVICEINTERFACE_A filter;
    std::memset(&filter, 0, sizeof filter);
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = platform::DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = platform::GUID_DEVINTERFACE_IMAGE;
    notification_ = register_(window, &filter, platform::DEVICE_NOTIFY_WINDOW_HANDLE);
    return notification_ != nullptr;
}

void CDeviceNotificationRegistration::unregister() {
    if (notification_ != nullptr && unregister_ != nullptr)
        unregister_(notification_);
    notification_ = nullptr;
}
