#pragma once

#include "platform/win_types.h"

#include <cstdint>
#include <optional>

// Device-interface notifications, shaped as the calls "user32.dll" exports.
// A registered window gets WM_DEVICECHANGE with DBT_DEVICEARRIVAL when a device
// of the filter's interface class arrives (lParam 0: the message is posted, so
// it carries no broadcast record).
//
// Buses announce arrivals in advance, for the moment a device will be back
// (ScheduleDeviceArrival); a run loop delivers what has come due
// (DeliverDueDeviceArrivals) and can sleep until the next one.
namespace platform {

constexpr WPARAM DBT_DEVICEARRIVAL = 0x8000;
constexpr WPARAM DBT_DEVICEREMOVECOMPLETE = 0x8004;
constexpr DWORD DBT_DEVTYP_DEVICEINTERFACE = 5;
constexpr DWORD DEVICE_NOTIFY_WINDOW_HANDLE = 0;

struct DEV_BROADCAST_DEVICEINTERFACE_A {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    char dbcc_name[1];
};
static_assert(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) == 32);

// {6BDD1FC6-810F-11D0-BEC7-08002BE2092F}
constexpr GUID GUID_DEVINTERFACE_IMAGE = {
    0x6BDD1FC6, 0x810F, 0x11D0, {0xBE, 0xC7, 0x08, 0x00, 0x2B, 0xE2, 0x09, 0x2F}};

// Null when the recipient or the filter is not usable.
HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, void* filter, DWORD flags);
BOOL UnregisterDeviceNotification(HDEVNOTIFY notification);

// A device of `interfaceClass` arrives at `tick` (platform clock).
void ScheduleDeviceArrival(std::uint64_t tick, const GUID& interfaceClass);
// Posts every arrival whose time has come to the windows registered for its
// class; returns how many arrivals were delivered.
int DeliverDueDeviceArrivals();
// The tick of the earliest arrival not yet delivered.
std::optional<std::uint64_t> NextDeviceArrival();
// Drops every registration and every pending arrival (tests).
void ResetDeviceNotifications();

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    char szCSDVersion[128];
};

// Reports the NT platform family.
BOOL GetVersionExA(OSVERSIONINFOA* info);

} // namespace platform
