#include "platform/address32.h"
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/module_loader.h"
#include "platform/still_image.h"
#include "platform/sync.h"
#include "platform/version_info.h"
#include "platform/window_messages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace platform;

namespace {

// A backend with a fixed number of adapters that records what reaches it.
class RecordingBackend final : public AspiBackend {
public:
    explicit RecordingBackend(int adapters, bool completes = true)
        : adapters_(adapters), completes_(completes) {}
    int adapterCount() const override { return adapters_; }
    void describeAdapter(int adapter, SRB_HAInquiry& block) override {
        block.adapterScsiId = static_cast<BYTE>(adapter);
    }
    bool execute(int adapter, SRB_ExecSCSICmd& block, BYTE* data) override {
        executed.push_back(adapter);
        if (data != nullptr)
            std::memset(data, 0xAB, block.dataLength);
        block.status = SS_COMP;
        return completes_;
    }
    void rescan(int adapter) override { rescanned.push_back(adapter); }

    std::vector<int> executed;
    std::vector<int> rescanned;

private:
    int adapters_;
    bool completes_;
};

struct AspiLayer : testing::Test {
    void TearDown() override {
        for (auto& backend : installed)
            RemoveAspiBackend(backend);
    }
    std::shared_ptr<RecordingBackend> install(int adapters, bool completes = true) {
        auto backend = std::make_shared<RecordingBackend>(adapters, completes);
        InstallAspiBackend(backend);
        installed.push_back(backend);
        return backend;
    }
    std::vector<std::shared_ptr<RecordingBackend>> installed;
};

} // namespace

TEST(ModuleLoader, SystemLibrariesLoadAndExportTheirEntryPoints) {
    HMODULE user32 = LoadLibraryA("USER32.DLL");
    ASSERT_NE(user32, nullptr);
    EXPECT_NE(GetProcAddress(user32, "RegisterDeviceNotificationA"), nullptr);
    EXPECT_NE(GetProcAddress(user32, "UnregisterDeviceNotification"), nullptr);
    EXPECT_EQ(GetProcAddress(user32, "NoSuchEntry"), nullptr);
    HMODULE kernel32 = LoadLibraryA("kernel32");
    ASSERT_NE(kernel32, nullptr);
    EXPECT_NE(GetProcAddress(kernel32, "IsWow64Process"), nullptr);
    EXPECT_TRUE(FreeLibrary(user32));
    EXPECT_TRUE(FreeLibrary(kernel32));
    // A freed module no longer gives entry points.
    EXPECT_EQ(GetProcAddress(user32, "RegisterDeviceNotificationA"), nullptr);
}

TEST(ModuleLoader, ProvidersLoadOnlyWhileInstalled) {
    EXPECT_EQ(LoadLibraryA("WNASPI32"), nullptr);
    EXPECT_EQ(LoadLibraryA("nosuch.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    InstallStillImageProvider([]() -> IStillImageW* { return nullptr; });
    HMODULE sti = LoadLibraryA("C:\\Windows\\System32\\STI.DLL");
    ASSERT_NE(sti, nullptr);
    EXPECT_EQ(reinterpret_cast<FARPROC>(StiCreateInstanceW),
              GetProcAddress(sti, "StiCreateInstanceW"));
    EXPECT_NE(ModuleFileName(sti).find("sti.dll"), std::string::npos);
    FreeLibrary(sti);
    InstallStillImageProvider(nullptr);
    // Without the provider "sti.dll" is the system's, where there is one.
    sti = LoadLibraryA("sti.dll");
    EXPECT_NE(GetProcAddress(sti, "StiCreateInstanceW"),
              reinterpret_cast<FARPROC>(StiCreateInstanceW));
    if (sti != nullptr)
        FreeLibrary(sti);
}

TEST(StillImage, CreateInstanceWithoutProviderFails) {
    IStillImageW* service = reinterpret_cast<IStillImageW*>(1);
    EXPECT_TRUE(FAILED(StiCreateInstanceW(nullptr, STI_VERSION, &service, nullptr)));
    EXPECT_EQ(service, nullptr);
    EXPECT_EQ(StiCreateInstanceW(nullptr, STI_VERSION, nullptr, nullptr), E_POINTER);
}

TEST(StillImage, TextConversionRoundTrip) {
    const char16_t wide[] = u"KORVA SX-T18 USB";
    char narrow[64] = {};
    const int written =
        WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, sizeof narrow, nullptr, nullptr);
    EXPECT_EQ(written, 17); // with the terminator
    EXPECT_STREQ(narrow, "KORVA SX-T18 USB");
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow, 4, nullptr, nullptr), 0);

    WCHAR back[64] = {};
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "\xE3\x82\xA2", -1, back, 64), 2);
    EXPECT_EQ(back[0], u'\u30A2');
}

TEST(StillImage, Wow64AnswerFollowsTheOverride) {
    BOOL wow64 = FALSE;
    SetWow64Override(0);
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_FALSE(wow64);
    SetWow64Override(1);
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_TRUE(wow64);
    SetWow64Override(-1);
    IsWow64Process(GetCurrentProcess(), &wow64);
    EXPECT_EQ(wow64 != FALSE, sizeof(void*) > 4);
}

TEST(Address32, MapsABufferWhileItLives) {
    int buffer = 0;
    std::uint32_t value = 0;
    {
        Address32 address(&buffer);
        value = address.value();
        EXPECT_NE(value, 0u);
        EXPECT_EQ(ResolveAddress32(value), &buffer);
        Address32 other(&buffer);
        EXPECT_EQ(ResolveAddress32(other.value()), &buffer);
    }
    if (sizeof(void*) > 4) {
        EXPECT_EQ(ResolveAddress32(value), nullptr);
    }
    EXPECT_EQ(Address32(nullptr).value(), 0u);
    EXPECT_EQ(ResolveAddress32(0), nullptr);
}

TEST_F(AspiLayer, SupportInfoCountsAdaptersOfEveryBackend) {
    EXPECT_EQ(GetASPI32SupportInfo() >> 8 & 0xFF, SS_NO_ADAPTERS);
    install(2);
    install(1);
    EXPECT_EQ(GetASPI32SupportInfo(), static_cast<DWORD>(SS_COMP) << 8 | 3);
}

TEST_F(AspiLayer, ExecuteRoutesByAdapterAndSignalsTheEvent) {
    auto first = install(2);
    auto second = install(1);
    BYTE data[36] = {};
    Address32 buffer(data);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    SRB_ExecSCSICmd block{};
    block.command = SC_EXEC_SCSI_CMD;
    block.hostAdapter = 2;
    block.flags = SRB_DIR_IN | SRB_EVENT_NOTIFY;
    block.dataLength = sizeof data;
    block.dataBuffer = buffer.value();
    block.cdbLength = 6;
    block.postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
    EXPECT_EQ(SendASPI32Command(&block), SS_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
    EXPECT_EQ(block.status, SS_COMP);
    EXPECT_EQ(data[35], 0xAB);
    EXPECT_TRUE(first->executed.empty());
    EXPECT_EQ(second->executed, std::vector<int>{0});

    block.hostAdapter = 3;
    EXPECT_EQ(SendASPI32Command(&block), SS_INVALID_HA);
    CloseHandle(event);
}

TEST_F(AspiLayer, RequestThatNeverCompletesStaysPending) {
    install(1, false);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SRB_ExecSCSICmd block{};
    block.command = SC_EXEC_SCSI_CMD;
    block.flags = SRB_EVENT_NOTIFY;
    block.cdbLength = 6;
    block.postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));
    EXPECT_EQ(SendASPI32Command(&block), SS_PENDING);
    EXPECT_EQ(block.status, SS_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT);
    CloseHandle(event);
}

TEST_F(AspiLayer, InquiryAndRescanReachTheOwningBackend) {
    install(1);
    auto second = install(2);
    SRB_HAInquiry inquiry{};
    inquiry.command = SC_HA_INQUIRY;
    inquiry.hostAdapter = 2;
    EXPECT_EQ(SendASPI32Command(&inquiry), SS_COMP);
    EXPECT_EQ(inquiry.adapterCount, 3);
    EXPECT_EQ(inquiry.adapterScsiId, 1); // the second adapter of the second backend

    SRB_RescanPort rescan{};
    rescan.command = SC_RESCAN_SCSI_BUS;
    rescan.hostAdapter = 1;
    EXPECT_EQ(SendASPI32Command(&rescan), SS_COMP);
    EXPECT_EQ(second->rescanned, std::vector<int>{0});
}

TEST(DeviceNotification, ArrivalReachesWindowsRegisteredForItsClass) {
    SetManualClock(true);
    ResetDeviceNotifications();
    std::vector<std::pair<UINT, WPARAM>> received;
    HWND window = RegisterMessageWindow([&received](UINT message, WPARAM wParam, LPARAM) {
        received.emplace_back(message, wParam);
    });

    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = GUID_DEVINTERFACE_IMAGE;
    HDEVNOTIFY notification =
        RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    ASSERT_NE(notification, nullptr);

    GUID otherClass = GUID_DEVINTERFACE_IMAGE;
    otherClass.Data1 ^= 1;
    ScheduleDeviceArrival(GetTickCount64() + 3000, GUID_DEVINTERFACE_IMAGE);
    ScheduleDeviceArrival(GetTickCount64() + 1000, otherClass);
    EXPECT_EQ(NextDeviceArrival(), GetTickCount64() + 1000);
    AdvanceClock(2999);
    EXPECT_EQ(DeliverDueDeviceArrivals(), 1);
    EXPECT_TRUE(received.empty());
    AdvanceClock(1);
    EXPECT_EQ(DeliverDueDeviceArrivals(), 1);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].first, WM_DEVICECHANGE);
    EXPECT_EQ(received[0].second, DBT_DEVICEARRIVAL);
    EXPECT_FALSE(NextDeviceArrival().has_value());

    EXPECT_TRUE(UnregisterDeviceNotification(notification));
    ScheduleDeviceArrival(GetTickCount64(), GUID_DEVINTERFACE_IMAGE);
    DeliverDueDeviceArrivals();
    EXPECT_EQ(received.size(), 1u);
    UnregisterMessageWindow(window);
    EXPECT_FALSE(PostMessageA(window, WM_APP, 0, 0));
    SetManualClock(false);
}

TEST(DeviceNotification, FilterMustNameDeviceInterfaces) {
    HWND window = RegisterMessageWindow([](UINT, WPARAM, LPARAM) {});
    DEV_BROADCAST_DEVICEINTERFACE_A filter{};
    filter.dbcc_size = sizeof filter;
    filter.dbcc_devicetype = 3;
    EXPECT_EQ(RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
    EXPECT_EQ(RegisterDeviceNotificationA(nullptr, &filter, DEVICE_NOTIFY_WINDOW_HANDLE), nullptr);
    UnregisterMessageWindow(window);

    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(GetVersionExA(&version));
    EXPECT_EQ(version.dwPlatformId, VER_PLATFORM_WIN32_NT);
}

TEST(VersionInfo, ProgramFilesCarryTheProgramsVersionStrings) {
    HMODULE kernel32 = LoadLibraryA("kernel32");
    const std::string file = ModuleFileName(kernel32);
    DWORD handle = 1;
    const DWORD size = GetFileVersionInfoSizeA(file.c_str(), &handle);
    ASSERT_GT(size, 0u);
    EXPECT_EQ(handle, 0u);
    std::vector<char> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(file.c_str(), 0, size, data.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length));
    WORD translation[2];
    std::memcpy(translation, value, sizeof translation);
    char query[96];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                  translation[1], "LegalCopyright");
    ASSERT_TRUE(VerQueryValueA(data.data(), query, &value, &length));
    EXPECT_NE(std::string(static_cast<char*>(value)).find("Korvatek"), std::string::npos);
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                  translation[1], "NoSuchValue");
    EXPECT_FALSE(VerQueryValueA(data.data(), query, &value, &length));
    FreeLibrary(kernel32);

    EXPECT_EQ(GetFileVersionInfoSizeA("/etc/hostname", &handle), 0u);
}
