#include "app/family_registry.h"
#include "device/scanner_fixture.h"
#include "device/sti_passthrough.h"
#include "device/sti_proxy.h"
#include "platform/win32/sti_com.h"
#include "sim/bus_fixture.h"
#include "sim/sti_service.h"

#include <gtest/gtest.h>

#include <string>

// The Still Image path of the Windows build: this layer's interfaces through
// the system's COM vtables and back, and the system's own service (Wine's,
// whose device list is not implemented).
using namespace platform;

namespace {

const char* const kUsbScanner = "[Scanner]\n"
                                "Product=SX-T18\n"
                                "Revision=0102\n"
                                "LinkValue=7\n";

} // namespace

// The virtual service exported as a COM object and imported back, as a
// program sees it that loads the virtual scanners' "sti.dll".
class StillImageThroughCom : public BusFixture {
protected:
    IStillImageW* roundTrip() {
        IStillImageW* service = nullptr;
        EXPECT_EQ(StiCreateInstanceW(nullptr, STI_VERSION, &service, nullptr), S_OK);
        void* com = native::ExportStillImage(service, [this] { ++exportedGone_; });
        return native::ImportStillImage(com, [this] { ++importedGone_; });
    }

    IStiDevice* create(IStillImageW* service) {
        IStiDevice* device = nullptr;
        EXPECT_EQ(service->CreateDevice(sim::InternalDeviceName(0).c_str(), STI_DEVICE_CREATE_BOTH,
                                        &device, nullptr),
                  S_OK);
        return device;
    }

    int exportedGone_ = 0;
    int importedGone_ = 0;
};

TEST_F(StillImageThroughCom, DeviceListComesThroughAsItsRecords) {
    attach({profile("usb.ini", kUsbScanner)});
    IStillImageW* service = roundTrip();
    DWORD count = 0;
    void* list = nullptr;
    ASSERT_EQ(service->GetDeviceList(StiDeviceTypeScanner, 0, &count, &list), S_OK);
    ASSERT_EQ(count, 1u);
    const auto* record = static_cast<STI_DEVICE_INFORMATIONW*>(list);
    EXPECT_EQ(record->dwSize, sizeof(STI_DEVICE_INFORMATIONW));
    EXPECT_EQ(record->DeviceType, StiDeviceTypeScanner);
    EXPECT_EQ(std::u16string(record->szDeviceInternalName), sim::InternalDeviceName(0));
    EXPECT_EQ(std::u16string(record->pszLocalName), u"KORVA SX-T18 USB");
    EXPECT_EQ(std::u16string(record->pszPortName), u"USB");
    // One block from the system's LocalAlloc.
    EXPECT_EQ(LocalFree(list), nullptr);

    void* info = nullptr;
    EXPECT_EQ(service->GetDeviceInfo(sim::InternalDeviceName(0).c_str(), &info), E_NOTIMPL);
    EXPECT_EQ(service->GetDeviceList(0, 0, nullptr, &list), E_POINTER);
    EXPECT_EQ(service->RefreshDeviceBus(nullptr), S_OK);
    service->Release();
    EXPECT_EQ(exportedGone_, 1);
    EXPECT_EQ(importedGone_, 1);
}

TEST_F(StillImageThroughCom, CreationFailuresKeepTheirCodes) {
    attach({profile("usb.ini", kUsbScanner)});
    IStillImageW* service = roundTrip();
    IStiDevice* device = reinterpret_cast<IStiDevice*>(1);
    EXPECT_EQ(service->CreateDevice(u"{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}\\0099",
                                    STI_DEVICE_CREATE_BOTH, &device, nullptr),
              STIERR_INVALID_DEVICE_NAME);
    EXPECT_EQ(device, nullptr);
    EXPECT_EQ(service->CreateDevice(sim::InternalDeviceName(0).c_str(), STI_DEVICE_CREATE_BOTH,
                                    nullptr, nullptr),
              RPC_E_INVALID_PARAMETER_POINTER);
    service->Release();
    EXPECT_EQ(exportedGone_, 1);
}

TEST_F(StillImageThroughCom, EscapesReachTheScannerAndLocksExcludeEachOther) {
    attach({profile("usb.ini", kUsbScanner)});
    IStillImageW* service = roundTrip();
    IStiDevice* first = create(service);
    IStiDevice* second = create(service);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->LockDevice(60000), S_OK);
    EXPECT_EQ(second->LockDevice(60000), STIERR_DEVICE_LOCKED);

    // The by-value INQUIRY: status block, then the data.
    const std::uint8_t inquiry[6] = {0x12, 0, 0, 0, 36, 0};
    auto packet = sti::BuildPacket(sti::kDataIn, inquiry, 6, nullptr, 36);
    auto out = sti::BuildOutputBuffer(sti::kDataIn, 36);
    DWORD returned = 0;
    ASSERT_EQ(first->Escape(1, packet.data(), static_cast<DWORD>(packet.size()), out.data(),
                            static_cast<DWORD>(out.size()), &returned),
              S_OK);
    EXPECT_EQ(returned, sti::kStatusBlockSize + 36);
    EXPECT_EQ(sti::CompletionValue(out.data()), 1u);
    EXPECT_EQ(std::string(out.begin() + sti::kStatusBlockSize + 16,
                          out.begin() + sti::kStatusBlockSize + 22),
              "SX-T18");

    DWORD link = 0;
    EXPECT_EQ(first->Escape(2, nullptr, 0, &link, 4, &returned), S_OK);
    EXPECT_EQ(link, 7u);
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(first->Escape(9, nullptr, 0, nullptr, 0, &returned), E_INVALIDARG);

    EXPECT_EQ(first->UnLockDevice(), S_OK);
    EXPECT_EQ(second->LockDevice(60000), S_OK);
    first->Release();
    second->Release();
    service->Release();
}

TEST_F(StillImageThroughCom, ServiceLivesOnWhileItsDevicesDo) {
    attach({profile("usb.ini", kUsbScanner)});
    IStillImageW* service = roundTrip();
    IStiDevice* device = create(service);
    ASSERT_NE(device, nullptr);
    service->Release();
    EXPECT_EQ(exportedGone_, 0);
    EXPECT_EQ(importedGone_, 0);
    DWORD link = 0;
    EXPECT_EQ(device->Escape(2, nullptr, 0, &link, 4, nullptr), S_OK);
    EXPECT_EQ(link, 7u);
    device->AddRef();
    device->Release();
    EXPECT_EQ(exportedGone_, 0);
    device->Release();
    EXPECT_EQ(exportedGone_, 1);
    EXPECT_EQ(importedGone_, 1);
}

// No provider installed: "sti.dll" is the system's.
TEST(SystemStillImage, ServiceLoadsAndItsDeviceListFailsCleanly) {
    HMODULE sti = LoadLibraryA("sti.dll");
    ASSERT_NE(sti, nullptr);
    auto create = reinterpret_cast<HRESULT (*)(HINSTANCE, DWORD, IStillImageW**, void*)>(
        GetProcAddress(sti, "StiCreateInstanceW"));
    ASSERT_NE(create, nullptr);
    EXPECT_NE(reinterpret_cast<FARPROC>(create), reinterpret_cast<FARPROC>(StiCreateInstanceW));
    IStillImageW* service = nullptr;
    ASSERT_EQ(create(nullptr, STI_VERSION, &service, nullptr), S_OK);
    ASSERT_NE(service, nullptr);
    DWORD count = 5;
    void* list = nullptr;
    const HRESULT listed = service->GetDeviceList(StiDeviceTypeScanner, 0, &count, &list);
    if (FAILED(listed)) {
        EXPECT_EQ(count, 0u);
        EXPECT_EQ(list, nullptr);
    }
    if (list != nullptr)
        LocalFree(list);
    service->Release();
    EXPECT_TRUE(FreeLibrary(sti));
    EXPECT_FALSE(FreeLibrary(sti));
}

TEST(SystemStillImage, ProxyWorksWithTheSystemsService) {
    StiProxy* proxy = StiProxy::Acquire(nullptr);
    ASSERT_NE(proxy, nullptr);
    DWORD count = 0;
    void* list = nullptr;
    const HRESULT listed = proxy->getDeviceList(&count, &list);
    if (list != nullptr)
        LocalFree(list);
    EXPECT_TRUE(FAILED(listed) || count == 0);
    proxy->release();
    EXPECT_FALSE(StiProxy::Exists());
}

class SystemStillImageScanner : public ScannerFixture {};

TEST_F(SystemStillImageScanner, FindsNoDeviceWhereTheSystemListsNone) {
    EXPECT_EQ(scanner.openWith(familyIdentifiers(lookUpFamily("MORVI"))), 0);
    EXPECT_FALSE(StiProxy::Exists());
}
