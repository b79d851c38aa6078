#include "bus_fixture.h"

#include "platform/device_notification.h"
#include "sim/sti_service.h"

using namespace platform;

namespace {

const char* const kUsbScanner = "[Scanner]\n"
                                "Product=SX-T18\n"
                                "Revision=0102\n"
                                "LeaveTime=3000\n";

void putLe32(BYTE* p, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<BYTE>(value >> (8 * i));
}

std::uint32_t le32(const BYTE* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

struct Reply {
    HRESULT result;
    std::uint32_t completed; // the status block's first value
    std::vector<BYTE> status;
    std::vector<BYTE> data;
};

// The by-value packet of a 32-bit process on 64-bit Windows.
Reply byValue(IStiDevice* device, const std::vector<BYTE>& cdb, DWORD direction,
              std::vector<BYTE> data) {
    const std::size_t length = data.size();
    std::vector<BYTE> packet(direction == 2 && length > 4 ? length + 24 : 28, 0);
    putLe32(packet.data(), direction);
    std::memcpy(packet.data() + 4, cdb.data(), cdb.size());
    packet[14] = static_cast<BYTE>(cdb.size());
    putLe32(packet.data() + 20, static_cast<std::uint32_t>(length));
    if (direction == 2)
        std::memcpy(packet.data() + 24, data.data(), length);
    std::vector<BYTE> out(direction == 1 ? std::max<std::size_t>(length + 68, 72) : 72, 0);
    DWORD returned = 0;
    Reply reply;
    reply.result = device->Escape(1, packet.data(), static_cast<DWORD>(packet.size()), out.data(),
                                  static_cast<DWORD>(out.size()), &returned);
    reply.completed = le32(out.data());
    reply.status.assign(out.begin(), out.begin() + 68);
    if (direction == 1)
        reply.data.assign(out.begin() + 68, out.begin() + 68 + static_cast<long>(length));
    return reply;
}

// The 32-byte request of a 32-bit process on 32-bit Windows.
Reply byAddress(IStiDevice* device, const std::vector<BYTE>& cdb, DWORD direction,
                std::vector<BYTE> data) {
    std::vector<BYTE> status(68, 0);
    Address32 dataAddress(data.empty() ? nullptr : data.data());
    Address32 statusAddress(status.data());
    BYTE request[32] = {};
    putLe32(request, direction);
    std::memcpy(request + 4, cdb.data(), cdb.size());
    request[14] = static_cast<BYTE>(cdb.size());
    putLe32(request + 16, static_cast<std::uint32_t>(data.size()));
    putLe32(request + 20, dataAddress.value());
    putLe32(request + 24, statusAddress.value());
    Reply reply;
    reply.result = device->Escape(1, request, 0, nullptr, 0, nullptr);
    reply.completed = le32(status.data());
    reply.status = status;
    reply.data = data;
    return reply;
}

const std::vector<BYTE> kStiInquiry{0x12, 0, 0, 0, 36, 0};
const std::vector<BYTE> kRequestSense{0x03, 0, 0, 0, 14, 0};

} // namespace

class StiServiceTest : public BusFixture {};

TEST_F(StiServiceTest, ListedDeviceAnswersByValuePassThrough) {
    attach({profile("usb.ini", kUsbScanner)});
    IStiDevice* device = openSti("KORVA SX-T18 USB");
    ASSERT_NE(device, nullptr);
    Reply inquiry = byValue(device, kStiInquiry, 1, std::vector<BYTE>(36));
    EXPECT_EQ(inquiry.result, S_OK);
    EXPECT_EQ(inquiry.completed, 1u);
    EXPECT_EQ(std::string(inquiry.data.begin() + 8, inquiry.data.end()),
              "KORVA   SX-T18          0102");
    device->Release();
}

TEST_F(StiServiceTest, ThirtyTwoBitRequestCarriesAddresses) {
    attach({profile("usb.ini", kUsbScanner)});
    IStiDevice* device = openSti("KORVA SX-T18 USB");
    ASSERT_NE(device, nullptr);
    Reply inquiry = byAddress(device, kStiInquiry, 1, std::vector<BYTE>(36));
    EXPECT_EQ(inquiry.result, S_OK);
    EXPECT_EQ(inquiry.completed, 1u);
    EXPECT_EQ(std::string(inquiry.data.begin() + 8, inquiry.data.begin() + 24), "KORVA   SX-T18  ");
    device->Release();
}

TEST_F(StiServiceTest, FailureIsReportedInStatusAndByRequestSense) {
    attach({profile("usb.ini", kUsbScanner)});
    IStiDevice* device = openSti("KORVA SX-T18 USB");
    ASSERT_NE(device, nullptr);
    // A memory write outside download mode is out of sequence.
    std::vector<BYTE> write{0x2D, 0, 0x10, 0, 0, 0, 0, 0, 0x10, 0};
    Reply refused = byValue(device, write, 2, std::vector<BYTE>(16, 0x00));
    EXPECT_EQ(refused.result, S_OK);
    EXPECT_EQ(refused.completed, 0u);
    Reply sense = byValue(device, kRequestSense, 1, std::vector<BYTE>(14));
    EXPECT_EQ(sense.completed, 1u);
    EXPECT_EQ(sense.data[2] & 0x0F, 5);
    EXPECT_EQ(sense.data[12], 0x2C);
    EXPECT_EQ(sense.data[13], 0x00);
    device->Release();
}

TEST_F(StiServiceTest, LinkValueIsReadAndSetInBothForms) {
    attach({profile("usb.ini", std::string(kUsbScanner) + "LinkValue=7\n")});
    IStiDevice* device = openSti("KORVA SX-T18 USB");
    ASSERT_NE(device, nullptr);
    DWORD value = 0, returned = 0;
    EXPECT_EQ(device->Escape(2, nullptr, 0, &value, 4, &returned), S_OK);
    EXPECT_EQ(value, 7u);
    EXPECT_EQ(returned, 4u);
    DWORD one = 1;
    EXPECT_EQ(device->Escape(3, &one, 4, nullptr, 0, nullptr), S_OK);
    value = 0;
    EXPECT_EQ(device->Escape(2, &value, 0, nullptr, 0, nullptr), S_OK);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(device->Escape(3, reinterpret_cast<void*>(std::uintptr_t{5}), 0, nullptr, 0, nullptr),
              S_OK);
    EXPECT_EQ(scanner().linkValue(), 5u);
    device->Release();
}

TEST_F(StiServiceTest, RestartedScannerNeedsANewDeviceAndAnnouncesItsArrival) {
    ResetDeviceNotifications();
    attach({profile("usb.ini", kUsbScanner)});
    IStiDevice* device = openSti("KORVA SX-T18 USB");
    ASSERT_NE(device, nullptr);
    const std::uint64_t restartTick = GetTickCount64();
    Reply restart = byValue(device, {0xFF, 0, 0xC7, 0, 0, 0, 0, 0, 0, 0}, 0, {});
    EXPECT_EQ(restart.completed, 1u);
    EXPECT_EQ(NextDeviceArrival(), restartTick + 3000);

    EXPECT_EQ(byValue(device, kStiInquiry, 1, std::vector<BYTE>(36)).result,
              HRESULT_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(openSti("KORVA SX-T18 USB"), nullptr);

    AdvanceClock(3000);
    // The handle from before the restart stays dead; a new one works.
    EXPECT_EQ(byValue(device, kStiInquiry, 1, std::vector<BYTE>(36)).result,
              HRESULT_DEVICE_NOT_CONNECTED);
    device->Release();
    IStiDevice* again = openSti("KORVA SX-T18 USB");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(byValue(again, kStiInquiry, 1, std::vector<BYTE>(36)).completed, 1u);
    again->Release();
}

TEST_F(StiServiceTest, SecondLockOnTheSameScannerIsRefused) {
    attach({profile("usb.ini", kUsbScanner)});
    IStiDevice* first = openSti("KORVA SX-T18 USB");
    ASSERT_NE(first, nullptr);
    HMODULE module = LoadLibraryA("sti.dll");
    IStillImageW* service = nullptr;
    StiCreateInstanceW(nullptr, STI_VERSION, &service, nullptr);
    IStiDevice* second = nullptr;
    ASSERT_EQ(service->CreateDevice(sim::InternalDeviceName(0).c_str(), STI_DEVICE_CREATE_BOTH,
                                    &second, nullptr),
              S_OK);
    EXPECT_EQ(service->CreateDevice(sim::InternalDeviceName(0).c_str(), STI_DEVICE_CREATE_BOTH,
                                    nullptr, nullptr),
              RPC_E_INVALID_PARAMETER_POINTER);
    EXPECT_EQ(second->LockDevice(60000), STIERR_DEVICE_LOCKED);
    first->Release();
    EXPECT_EQ(second->LockDevice(60000), S_OK);
    second->Release();
    service->Release();
    FreeLibrary(module);
}

TEST_F(StiServiceTest, OnlyStiScannersAreListed) {
    attach({profile("usb.ini", kUsbScanner),
            profile("scsi.ini", "[Scanner]\nProduct=SX-2500C\nRevision=1.20\nTransport=ASPI\n"),
            profile("sti-scsi.ini", "[Scanner]\nProduct=SX-4600C\nRevision=0300\nBus=SCSI\n")});
    IStillImageW* service = nullptr;
    StiCreateInstanceW(nullptr, STI_VERSION, &service, nullptr);
    DWORD count = 0;
    void* list = nullptr;
    ASSERT_EQ(service->GetDeviceList(0, 0, &count, &list), S_OK);
    ASSERT_EQ(count, 2u);
    auto* records = static_cast<STI_DEVICE_INFORMATIONW*>(list);
    EXPECT_EQ(std::u16string(records[1].pszLocalName), u"KORVA SX-4600C SCSI");
    EXPECT_NE(std::u16string(records[0].szDeviceInternalName),
              std::u16string(records[1].szDeviceInternalName));
    LocalFree(list);
    service->Release();
}
