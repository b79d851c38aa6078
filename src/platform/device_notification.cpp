#include "platform/device_notification.h"

#include "platform/clock.h"
#include "platform/native.h"
#include "platform/window_messages.h"

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace platform {

namespace {

struct Registration {
    HWND window;
    GUID interfaceClass;
    void* system; // the system's registration for a real window, or null
};

struct Arrival {
    std::uint64_t tick;
    GUID interfaceClass;
};

struct Notifications {
    std::mutex lock;
    std::map<std::uintptr_t, Registration> registrations;
    std::uintptr_t next = 0x20010;
    std::vector<Arrival> pending;
};

Notifications& notifications() {
    // Like the system's, these outlive every other object of the program: a
    // thread still waiting on them while the program ends must not find them
    // destroyed under it.
    static Notifications& instance = *new Notifications;
    return instance;
}

} // namespace

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, void* filter, DWORD flags) {
    if (recipient == nullptr || filter == nullptr || flags != DEVICE_NOTIFY_WINDOW_HANDLE)
        return nullptr;
    DEV_BROADCAST_DEVICEINTERFACE_A record;
    std::memcpy(&record, filter, sizeof record);
    if (record.dbcc_size < sizeof record || record.dbcc_devicetype != DBT_DEVTYP_DEVICEINTERFACE)
        return nullptr;
    auto& n = notifications();
    std::lock_guard<std::mutex> guard(n.lock);
    const std::uintptr_t value = n.next;
    n.next += 0x10;
    // A real window also hears of real devices from the system.
    void* system = native::RegisterSystemDeviceNotification(recipient, filter);
    n.registrations.emplace(
        value, Registration{static_cast<HWND>(recipient), record.dbcc_classguid, system});
    return reinterpret_cast<HDEVNOTIFY>(value);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY notification) {
    auto& n = notifications();
    std::lock_guard<std::mutex> guard(n.lock);
    const auto it = n.registrations.find(reinterpret_cast<std::uintptr_t>(notification));
    if (it == n.registrations.end())
        return FALSE;
    native::UnregisterSystemDeviceNotification(it->second.system);
    n.registrations.erase(it);
    return TRUE;
}

void ScheduleDeviceArrival(std::uint64_t tick, const GUID& interfaceClass) {
    auto& n = notifications();
    std::lock_guard<std::mutex> guard(n.lock);
    n.pending.push_back({tick, interfaceClass});
}

int DeliverDueDeviceArrivals() {
    const std::uint64_t now = GetTickCount64();
    std::vector<HWND> recipients;
    int delivered = 0;
    {
        auto& n = notifications();
        std::lock_guard<std::mutex> guard(n.lock);
        for (auto it = n.pending.begin(); it != n.pending.end();) {
            if (it->tick > now) {
                ++it;
                continue;
            }
            for (auto& [handle, registration] : n.registrations)
                if (registration.interfaceClass == it->interfaceClass)
                    recipients.push_back(registration.window);
            it = n.pending.erase(it);
            ++delivered;
        }
    }
    // Posted outside the lock: a sink may register or unregister in turn.
    for (HWND window : recipients)
        PostMessageA(window, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    return delivered;
}

std::optional<std::uint64_t> NextDeviceArrival() {
    auto& n = notifications();
    std::lock_guard<std::mutex> guard(n.lock);
    std::optional<std::uint64_t> earliest;
    for (const auto& arrival : n.pending)
        if (!earliest || arrival.tick < *earliest)
            earliest = arrival.tick;
    return earliest;
}

void ResetDeviceNotifications() {
    auto& n = notifications();
    std::lock_guard<std::mutex> guard(n.lock);
    n.registrations.clear();
    n.pending.clear();
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
    if (info == nullptr || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA))
        return FALSE;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 19045;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    info->szCSDVersion[0] = '\0';
    return TRUE;
}

} // namespace platform
