#include "device/scsi_transport.h"

#include "device/cmd_error.h"
#include "platform/address32.h"
#include "platform/clock.h"
#include "platform/sync.h"
#include "settings/localisation.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr int kPositions = 7; // adapter and target ids 0..6
constexpr char kPrefix[] = "ASPI\\";
constexpr std::size_t kPrefixLength = sizeof kPrefix - 1;
constexpr std::size_t kScsiInquiryLength = 36;

const std::uint8_t kScsiTestUnitReady[6] = {0x00, 0, 0, 0, 0, 0};
const std::uint8_t kScsiInquiry[6] = {0x12, 0, 0, 0, 0x24, 0};

// Requests that never completed stay allocated: the layer may still write them.
void abandon(std::unique_ptr<platform::SRB_ExecSCSICmd> block) {
    static std::mutex lock;
    static std::vector<std::unique_ptr<platform::SRB_ExecSCSICmd>> abandoned;
    std::lock_guard<std::mutex> guard(lock);
    abandoned.push_back(std::move(block));
}

} // namespace

CScsi::~CScsi() {
    close();
}

bool CScsi::load() {
    if (library_.handle() == nullptr && library_.load("WNASPI32") == nullptr)
        return false;
    sendCommand_ = reinterpret_cast<SendCommand>(library_.procAddress("SendASPI32Command"));
    supportInfo_ = reinterpret_cast<SupportInfo>(library_.procAddress("GetASPI32SupportInfo"));
    getBuffer_ = library_.procAddress("GetASPI32Buffer");
    freeBuffer_ = library_.procAddress("FreeASPI32Buffer");
    translateAddress_ = library_.procAddress("TranslateASPI32Address");
    if (sendCommand_ == nullptr || supportInfo_ == nullptr)
        return false;
    const platform::DWORD info = supportInfo_();
    if ((info >> 8 & 0xFF) != platform::SS_COMP)
        return false;
    adapterCount_ = static_cast<int>(info & 0xFF);
    return true;
}

bool CScsi::matches(const std::uint8_t* inquiry, std::size_t length) {
    for (std::size_t n = 0;; ++n) {
        const std::string candidate = identifier(n);
        if (candidate.empty())
            return false;
        if (candidate.compare(0, kPrefixLength, kPrefix) != 0)
            continue;
        const std::size_t rest = candidate.size() - kPrefixLength;
        if (8 + rest <= length &&
            std::memcmp(candidate.data() + kPrefixLength, inquiry + 8, rest) == 0) {
            setDeviceName(candidate);
            return true;
        }
    }
}

bool CScsi::open() {
    if (!load())
        return false;
    for (adapter_ = 0; adapter_ < kPositions; ++adapter_) {
        for (target_ = 0; target_ < kPositions; ++target_) {
            try {
                execute(CCDB(kScsiTestUnitReady));
            } catch (const CCmdError&) {
            }
            std::uint8_t inquiry[kScsiInquiryLength] = {};
            try {
                executeIn(CCDB(kScsiInquiry), inquiry, sizeof inquiry);
            } catch (const CCmdError&) {
                continue;
            }
            if (matches(inquiry, sizeof inquiry))
                return true;
        }
    }
    adapter_ = -1;
    target_ = -1;
    return false;
}

void CScsi::close() {
    library_.free();
    adapter_ = -1;
    target_ = -1;
    adapterCount_ = 0;
    sendCommand_ = nullptr;
    supportInfo_ = nullptr;
    getBuffer_ = nullptr;
    freeBuffer_ = nullptr;
    translateAddress_ = nullptr;
}

void CScsi::lock() {
    while (busy_.exchange(1, std::memory_order_acquire) == 1)
        platform::Sleep(10);
}

int CScsi::run(const CCDB& cdb, std::uint8_t flags, std::uint8_t* buffer, std::size_t length) {
    using namespace platform;
    if (sendCommand_ == nullptr)
        throw CCmdError(Translate("The scanner is not open."));
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        throw static_cast<unsigned>(GetLastError());

    auto block = std::make_unique<SRB_ExecSCSICmd>();
    std::memset(block.get(), 0, sizeof(SRB_ExecSCSICmd));
    block->command = SC_EXEC_SCSI_CMD;
    block->hostAdapter = static_cast<BYTE>(adapter_);
    block->flags = static_cast<BYTE>(flags | SRB_EVENT_NOTIFY);
    block->target = static_cast<BYTE>(target_);
    Address32 data(length != 0 ? buffer : nullptr);
    block->dataLength = static_cast<DWORD>(length);
    block->dataBuffer = data.value();
    block->senseLength = 14;
    block->cdbLength = static_cast<BYTE>(std::min<std::size_t>(cdb.size(), sizeof block->cdb));
    std::memcpy(block->cdb, cdb.data(), block->cdbLength);
    block->postEvent = static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(event));

    lock();
    bool completed = true;
    if (sendCommand_(block.get()) == SS_PENDING)
        completed = WaitForSingleObject(event, kCompletionTimeout) == WAIT_OBJECT_0;
    unlock();
    if (!completed) {
        // Leave the event open too: the layer may still signal it.
        abandon(std::move(block));
        throw CCmdError(Translate("The scanner did not answer in time."));
    }
    CloseHandle(event);

    if (block->status == SS_COMP && block->hostAdapterStatus == HASTAT_OK)
        return target_ * 256 + 1;
    CCmdError error(*block);
    // A failure outside the SCSI protocol (the device gone, access refused)
    // comes with words of its own.
    std::string text = AspiErrorText();
    if (!text.empty())
        error.setDetail(std::move(text));
    throw error;
}

int CScsi::executeIn(const CCDB& cdb, std::uint8_t* buffer, std::size_t length) {
    return run(cdb, platform::SRB_DIR_IN, buffer, length);
}

int CScsi::executeOut(const CCDB& cdb, const std::uint8_t* buffer, std::size_t length) {
    return run(cdb, platform::SRB_DIR_OUT, const_cast<std::uint8_t*>(buffer), length);
}

int CScsi::execute(const CCDB& cdb) {
    return run(cdb, platform::SRB_DIR_IN, nullptr, 0);
}

void CScsi::reset() {
    using namespace platform;
    if (library_.handle() == nullptr || sendCommand_ == nullptr)
        return;
    for (int k = 0; k < adapterCount_; ++k) {
        SRB_HAInquiry inquiry{};
        inquiry.command = SC_HA_INQUIRY;
        inquiry.hostAdapter = static_cast<BYTE>(k);
        sendCommand_(&inquiry);
        if (inquiry.status != SS_COMP)
            continue;
        SRB_RescanPort rescan{};
        rescan.command = SC_RESCAN_SCSI_BUS;
        rescan.hostAdapter = static_cast<BYTE>(k);
        sendCommand_(&rescan);
    }
}
