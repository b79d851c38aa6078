// The virtual scanner's command decoder over arbitrary command blocks and
// data, reached directly, through the ASPI bus and through the Still Image
// service's pass-through escapes. A scanner on the bus answers every command
// with a status, and every failure with fixed-format sense data that REQUEST
// SENSE then returns; it never moves more data than the buffer holds, nor
// writes past what it reports.
//
// Input: the profile (product, flags, processors, faults), then commands
// until the input ends. The scanner is built in memory and writes no files.
#include "platform/address32.h"
#include "platform/aspi.h"
#include "platform/clock.h"
#include "platform/still_image.h"
#include "sim/aspi_bus.h"
#include "sim/scanner_profile.h"
#include "sim/sti_service.h"
#include "sim/virtual_scanner.h"

#include "fuzz_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
using fuzz_support::Input;

constexpr std::uint8_t kUntouched = 0xEE;
constexpr std::size_t kMaxData = 2048;
constexpr std::size_t kStatusBlock = 68;

const char* const kProducts[] = {"SX-2300C", "ZEPA 9", "SX-4700C", "RX-680",
                                 "SX-1400C", "SX-105", "SX-T25"};
const char* const kKinds[] = {"any",      "tur",          "inquiry",      "memwrite", "memread",
                              "erase",    "restart",      "updatemode",   "start",    "datawrite",
                              "dataread", "checksumread", "requestsense", "unknown"};

sim::ScannerProfile profileFrom(Input& in) {
    sim::ScannerProfile p;
    const std::uint8_t product = in.u8();
    p.product = kProducts[product % std::size(kProducts)];
    p.revision = "1.20";
    const std::uint8_t flags = in.u8();
    p.legacy = (flags & 0x01) != 0;
    p.vendorPage = (flags & 0x02) == 0;
    p.leavesOnUpdateMode = (flags & 0x04) != 0;
    p.neverReturns = (flags & 0x08) != 0;
    p.downloadCode = (flags & 0x10) != 0 ? "*" : "";
    // Markers cost a page per erase block; the large flashes start erased.
    p.initialContent =
        (flags & 0x20) != 0 && product % std::size(kProducts) < 5 ? "marker" : "erased";
    if ((flags & 0x40) != 0)
        p.corruptReadAt = in.u32();
    p.transport = (flags & 0x80) != 0 ? sim::Transport::Aspi : sim::Transport::Sti;
    p.leaveTime = in.u8();
    p.linkValue = in.u8();

    const std::uint8_t units = in.u8();
    if (units % 5 != 0) {
        sim::ProcessorProfile main;
        main.name = "MAIN CONTROLLER";
        main.version = "120";
        main.zeroReply = (units & 0x80) != 0;
        p.processors.push_back(main);
        for (unsigned i = 1; i < units % 5; ++i) {
            sim::ProcessorProfile unit;
            unit.name = "DRIVE " + std::to_string(i);
            unit.version = std::to_string(in.u8());
            const std::uint8_t access = in.u8();
            unit.access = (access & 1) != 0 ? sim::ProcessorProfile::Access::Send
                                            : sim::ProcessorProfile::Access::Vendor;
            unit.subCommandBase = in.u8();
            unit.dataType = in.u8();
            unit.zeroReply = (access & 2) != 0;
            unit.initialContent = (access & 4) != 0 ? "marker" : "erased";
            if ((access & 8) != 0)
                unit.corruptReadAt = in.u32();
            p.processors.push_back(unit);
        }
    }
    for (unsigned n = in.u8() % 3; n > 0; --n) {
        sim::FaultRule rule;
        rule.command = kKinds[in.u8() % std::size(kKinds)];
        rule.nth = 1 + in.u8() % 4;
        rule.count = in.u8() % 3;
        rule.senseKey = static_cast<std::uint8_t>(1 + in.u8() % 15);
        rule.asc = in.u8();
        rule.ascq = in.u8();
        rule.diagnostic = in.u32();
        p.faults.push_back(rule);
    }
    const std::uint8_t limits = in.u8();
    if ((limits & 1) != 0)
        p.unplugAfter = in.u8();
    if ((limits & 2) != 0)
        p.hangAfter = in.u8();
    return p;
}

// The checks every answer of a scanner on the bus must pass.
void checkAnswer(const sim::CommandOutcome& outcome, const Bytes& buffer,
                 sim::DataDirection direction, bool mayHang) {
    FUZZ_CHECK(!outcome.hangs || mayHang, "a hang without HangAfter");
    if (!outcome.answered || outcome.hangs)
        return;
    FUZZ_CHECK(outcome.transferred <= buffer.size(), std::to_string(outcome.transferred));
    FUZZ_CHECK(direction == sim::DataDirection::In || outcome.transferred == 0, "data moved out");
    if (direction == sim::DataDirection::In)
        for (std::size_t i = outcome.transferred; i < buffer.size(); ++i)
            FUZZ_CHECK(buffer[i] == kUntouched,
                       "written past the reported data at " + std::to_string(i));
    if (outcome.good) {
        FUZZ_CHECK(outcome.sense == (std::array<std::uint8_t, 18>{}), "sense with GOOD status");
        return;
    }
    FUZZ_CHECK(outcome.sense[0] == 0x70 && outcome.sense[7] == 10, "fixed-format sense");
    FUZZ_CHECK((outcome.sense[2] & 0x0F) != 0, "CHECK CONDITION with sense key 0");
}

class Session {
public:
    explicit Session(sim::ScannerProfile profile)
        : mayHang_(profile.hangAfter.has_value()),
          scanner_(std::make_shared<sim::VirtualScanner>(std::move(profile))),
          bus_(std::vector<std::shared_ptr<sim::VirtualScanner>>{scanner_}),
          service_(sim::CreateStillImageService({scanner_})) {
        openDevice();
    }
    ~Session() {
        if (device_ != nullptr)
            device_->Release();
        service_->Release();
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void run(Input& in) {
        const std::uint8_t op = in.u8();
        const Bytes cdb = in.bytes(op >> 4 == 15 ? in.u8() % 17 : (op >> 4) % 11);
        const auto direction = static_cast<sim::DataDirection>(in.u8() % 3);
        const std::size_t length = in.u16() % kMaxData;
        Bytes data = direction == sim::DataDirection::Out ? in.bytes(length) : Bytes{};
        data.resize(length, kUntouched);
        switch (op & 7) {
        case 0:
        case 1:
        case 2:
            direct(cdb, direction, data);
            break;
        case 3:
            aspi(cdb, direction, data, in);
            break;
        case 4:
            stiByValue(cdb, direction, data, in);
            break;
        case 5:
            sti32(cdb, direction, data);
            break;
        case 6:
            platform::AdvanceClock(in.u16());
            break;
        case 7:
            link(in);
            break;
        }
    }

private:
    void openDevice() {
        if (device_ != nullptr)
            device_->Release();
        device_ = nullptr;
        appearance_ = scanner_->appearance();
        const std::u16string name = sim::InternalDeviceName(0);
        const platform::HRESULT result = service_->CreateDevice(
            reinterpret_cast<const platform::WCHAR*>(name.c_str()), 0, &device_, nullptr);
        FUZZ_CHECK((result == platform::S_OK) == scanner_->present(), "device creation");
    }

    // A handle from before the scanner last left no longer reaches it.
    void reopenWhenStale() {
        if (scanner_->present() && (device_ == nullptr || scanner_->appearance() != appearance_))
            openDevice();
    }

    // What the main flash holds over [address, address + length), 0xFF
    // past the top of the address space.
    Bytes flashBytes(std::uint32_t address, std::size_t length) const {
        Bytes bytes(length, 0xFF);
        for (std::size_t i = 0; i < length && address + std::uint64_t{i} <= 0xFFFFFFFFu; ++i)
            bytes[i] = scanner_->flashByte(0, static_cast<std::uint32_t>(address + i));
        return bytes;
    }

    // Memory write (2D) and read (2E): a write that succeeds leaves the AND
    // of old and new in the flash, a read returns the flash (the byte of a
    // profile's CorruptReadAt inverted).
    void checkMemory(const Bytes& cdb, const Bytes& before, const Bytes& data,
                     const sim::CommandOutcome& outcome) const {
        if (cdb.size() < 10 || !outcome.answered || outcome.hangs || !outcome.good)
            return;
        const std::uint32_t address = std::uint32_t{cdb[2]} << 24 | std::uint32_t{cdb[3]} << 16 |
                                      std::uint32_t{cdb[4]} << 8 | cdb[5];
        const std::size_t length = std::size_t{cdb[6]} << 16 | std::size_t{cdb[7]} << 8 | cdb[8];
        if (cdb[0] == 0x2D) {
            FUZZ_CHECK(before.size() == length, "memory write of another length succeeded");
            const Bytes after = flashBytes(address, length);
            for (std::size_t i = 0; i < length; ++i)
                FUZZ_CHECK(after[i] == (before[i] & data[i]), "flash after a write at " +
                                                                  fuzz_support::Hex(address) + "+" +
                                                                  std::to_string(i));
        } else if (cdb[0] == 0x2E) {
            FUZZ_CHECK(outcome.transferred == std::min(length, data.size()), "memory read length");
            const Bytes flash = flashBytes(address, outcome.transferred);
            const auto& corrupt = scanner_->profile().corruptReadAt;
            for (std::size_t i = 0; i < outcome.transferred; ++i) {
                const bool inverted = corrupt && *corrupt == address + std::uint64_t{i};
                FUZZ_CHECK(data[i] == (inverted ? static_cast<std::uint8_t>(~flash[i]) : flash[i]),
                           "memory read at " + fuzz_support::Hex(address) + "+" +
                               std::to_string(i));
            }
        }
    }

    void direct(const Bytes& cdb, sim::DataDirection direction, Bytes& data) {
        const bool present = scanner_->present();
        const bool memoryWrite = cdb.size() >= 10 && cdb[0] == 0x2D &&
                                 direction == sim::DataDirection::Out && data.size() <= 1024;
        const std::uint32_t address = cdb.size() >= 10 ? std::uint32_t{cdb[2]} << 24 |
                                                             std::uint32_t{cdb[3]} << 16 |
                                                             std::uint32_t{cdb[4]} << 8 | cdb[5]
                                                       : 0;
        const Bytes before = memoryWrite ? flashBytes(address, data.size()) : Bytes{};
        // An exact copy, so that a read past the block meets the sanitizer.
        const std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[cdb.size() + 1]);
        std::copy(cdb.begin(), cdb.end(), block.get());
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[data.size() + 1]);
        std::copy(data.begin(), data.end(), buffer.get());
        const sim::CommandOutcome outcome =
            scanner_->execute(cdb.empty() ? nullptr : block.get(), cdb.size(), direction,
                              data.empty() ? nullptr : buffer.get(), data.size());
        std::copy(buffer.get(), buffer.get() + data.size(), data.begin());
        FUZZ_CHECK(outcome.answered == present, "answered while off the bus, or not while on it");
        FUZZ_CHECK(!sim::CommandKindName(cdb.data(), cdb.size()).empty(), "command kind");
        checkAnswer(outcome, data, direction, mayHang_);
        if (!cdb.empty() &&
            (cdb[0] == 0x2D ? memoryWrite : cdb[0] == 0x2E && direction == sim::DataDirection::In))
            checkMemory(cdb, before, data, outcome);
        if (!outcome.answered || outcome.hangs)
            return;
        // The sense of a failure waits for REQUEST SENSE, which returns it.
        const std::array<std::uint8_t, 18> pending = scanner_->pendingSense();
        if (!outcome.good) {
            FUZZ_CHECK(pending == outcome.sense, "pending sense differs from the answer");
            const std::uint8_t requestSense[6] = {0x03, 0, 0, 0, 18, 0};
            Bytes sense(18, kUntouched);
            const sim::CommandOutcome fetched =
                scanner_->execute(requestSense, sizeof requestSense, sim::DataDirection::In,
                                  sense.data(), sense.size());
            checkAnswer(fetched, sense, sim::DataDirection::In, mayHang_);
            if (fetched.answered && !fetched.hangs && fetched.good)
                FUZZ_CHECK(fetched.transferred == 18 &&
                               std::memcmp(sense.data(), outcome.sense.data(), 18) == 0,
                           "REQUEST SENSE returns another sense");
        } else if (!(cdb.size() > 0 && cdb[0] == 0x03)) {
            FUZZ_CHECK((pending[2] & 0x0F) == 0, "sense left pending after GOOD");
        }
    }

    void aspi(const Bytes& cdb, sim::DataDirection direction, Bytes& data, Input& in) {
        platform::SRB_ExecSCSICmd block{};
        block.command = 2;
        const std::uint8_t where = in.u8();
        block.target = static_cast<platform::BYTE>(scanner_->profile().target + (where & 1));
        block.lun = (where & 2) != 0 ? 1 : 0;
        block.flags = direction == sim::DataDirection::Out  ? platform::SRB_DIR_OUT
                      : direction == sim::DataDirection::In ? platform::SRB_DIR_IN
                                                            : 0;
        block.dataLength = static_cast<platform::DWORD>(data.size());
        block.cdbLength = static_cast<platform::BYTE>((where & 4) != 0 ? in.u8() : cdb.size());
        std::copy_n(cdb.begin(), std::min(cdb.size(), sizeof block.cdb), block.cdb);
        block.senseLength = in.u8();
        const bool present = scanner_->present();
        const bool completes =
            bus_.execute(scanner_->profile().adapter, block, data.empty() ? nullptr : data.data());
        FUZZ_CHECK(completes || mayHang_, "a hang without HangAfter");
        if (!completes)
            return;
        FUZZ_CHECK(block.status == platform::SS_COMP || block.status == platform::SS_ERR,
                   std::to_string(block.status));
        const bool reached = present && block.lun == 0 && (where & 1) == 0;
        if (!reached)
            return;
        if (block.status == platform::SS_ERR &&
            block.targetStatus == platform::SCSI_STATUS_CHECK_CONDITION && block.senseLength > 0)
            FUZZ_CHECK(block.sense[0] == 0x70, "ASPI sense");
    }

    // Escape 1 with the request by value: a 24-byte header and the data out,
    // the status block and the data in back.
    void stiByValue(const Bytes& cdb, sim::DataDirection direction, const Bytes& data, Input& in) {
        reopenWhenStale();
        if (device_ == nullptr)
            return;
        const std::uint32_t code = direction == sim::DataDirection::Out  ? 2
                                   : direction == sim::DataDirection::In ? 1
                                                                         : 0;
        Bytes request(24 + (code == 2 ? data.size() : 0), 0);
        putLe32(request.data(), code);
        std::copy_n(cdb.begin(), std::min<std::size_t>(cdb.size(), 10), request.begin() + 4);
        const std::uint16_t cdbLength = static_cast<std::uint16_t>(cdb.size());
        request[14] = static_cast<std::uint8_t>(cdbLength);
        request[15] = static_cast<std::uint8_t>(cdbLength >> 8);
        putLe32(request.data() + 20, static_cast<std::uint32_t>(data.size()));
        if (code == 2)
            std::copy(data.begin(), data.end(), request.begin() + 24);
        // Sometimes cut short, to see that a short packet is refused.
        if ((in.u8() & 7) == 0)
            request.resize(request.size() / 2);
        Bytes out(kStatusBlock + (code == 1 ? data.size() : 0) - (in.u8() & 1), kUntouched);
        platform::DWORD returned = 0xFFFFFFFF;
        const platform::HRESULT result =
            device_->Escape(1, request.data(), static_cast<platform::DWORD>(request.size()),
                            out.data(), static_cast<platform::DWORD>(out.size()), &returned);
        if (result != platform::S_OK)
            return;
        FUZZ_CHECK(returned >= kStatusBlock && returned <= out.size(), std::to_string(returned));
        const std::uint32_t good = le32(out.data());
        FUZZ_CHECK(good == 0 || good == 1, "STI completion");
        if (good == 0)
            FUZZ_CHECK(out[8] == 0x70 && (out[10] & 0x0F) != 0, "STI sense");
        for (std::size_t i = returned; i < out.size(); ++i)
            FUZZ_CHECK(out[i] == kUntouched, "STI wrote past what it returned");
    }

    // Escape 1 with the 32-byte request of a 32-bit process.
    void sti32(const Bytes& cdb, sim::DataDirection direction, Bytes& data) {
        reopenWhenStale();
        if (device_ == nullptr)
            return;
        std::uint8_t request[32] = {};
        const std::uint32_t code = direction == sim::DataDirection::Out  ? 2
                                   : direction == sim::DataDirection::In ? 1
                                                                         : 0;
        putLe32(request, code);
        std::copy_n(cdb.begin(), std::min<std::size_t>(cdb.size(), 10), request + 4);
        request[14] = static_cast<std::uint8_t>(cdb.size());
        putLe32(request + 16, static_cast<std::uint32_t>(data.size()));
        Bytes status(kStatusBlock, kUntouched);
        const platform::Address32 dataAddress(data.empty() ? nullptr : data.data());
        const platform::Address32 statusAddress(status.data());
        putLe32(request + 20, dataAddress.value());
        putLe32(request + 24, statusAddress.value());
        const platform::HRESULT result = device_->Escape(1, request, 0, nullptr, 0, nullptr);
        if (result != platform::S_OK)
            return;
        const std::uint32_t good = le32(status.data());
        FUZZ_CHECK(good == 0 || good == 1, "STI completion");
        if (good == 0)
            FUZZ_CHECK(status[8] == 0x70 && (status[10] & 0x0F) != 0, "STI sense");
    }

    void link(Input& in) {
        reopenWhenStale();
        if (device_ == nullptr)
            return;
        std::uint32_t value = in.u32();
        if (device_->Escape(3, &value, sizeof value, nullptr, 0, nullptr) == platform::S_OK)
            FUZZ_CHECK(scanner_->linkValue() == value, "link value");
        std::uint32_t read = 0;
        platform::DWORD returned = 0;
        if (device_->Escape(2, nullptr, 0, &read, sizeof read, &returned) == platform::S_OK)
            FUZZ_CHECK(read == scanner_->linkValue() && returned == 4, "link value read");
    }

    static void putLe32(std::uint8_t* p, std::uint32_t value) {
        for (int i = 0; i < 4; ++i)
            p[i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
    static std::uint32_t le32(const std::uint8_t* p) {
        return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
               std::uint32_t{p[3]} << 24;
    }

    const bool mayHang_;
    std::shared_ptr<sim::VirtualScanner> scanner_;
    sim::AspiBus bus_;
    platform::IStillImageW* service_;
    platform::IStiDevice* device_ = nullptr;
    unsigned appearance_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    platform::SetManualClock(true);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    Session session(profileFrom(in));
    for (int commands = 0; !in.empty() && commands < 64; ++commands)
        session.run(in);
    return 0;
}
