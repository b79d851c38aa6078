#pragma once

#include "platform/win_types.h"

// A window's registration for the arrival of still-image devices, as the
// device wait dialogs hold it. Registration happens only on the NT platform
// family and only when "user32.dll" offers both RegisterDeviceNotificationA
// and UnregisterDeviceNotification; otherwise nothing is registered and
// nothing is reported, and the caller's timers alone end its wait.
class CDeviceNotificationRegistration {
public:
    CDeviceNotificationRegistration() = default;
    // Unregisters a registration still held, and frees "user32.dll".
    ~CDeviceNotificationRegistration();
    CDeviceNotificationRegistration(const CDeviceNotificationRegistration&) = delete;
    CDeviceNotificationRegistration& operator=(const CDeviceNotificationRegistration&) = delete;

    // Registers `window` for device-interface arrivals of the image class
    // (replacing an earlier registration); true when it is registered.
    bool registerWindow(platform::HWND window);
    // For WM_DESTROY: drops the registration, keeps the library.
    void unregister();
    bool registered() const { return notification_ != nullptr; }

private:
    using RegisterFunction = platform::HDEVNOTIFY (*)(platform::HANDLE, void*, platform::DWORD);
    using UnregisterFunction = platform::BOOL (*)(platform::HDEVNOTIFY);

    bool loadFunctions();

    platform::HMODULE user32_ = nullptr;
    RegisterFunction register_ = nullptr;
    UnregisterFunction unregister_ = nullptr;
    platform::HDEVNOTIFY notification_ = nullptr;
};
