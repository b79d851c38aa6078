#include "firmware/upgrade_pipeline.h"

#include "device/messages.h"
#include "device/scanner.h"
#include "firmware/address_data_list.h"
#include "firmware/block_fill.h"
#include "firmware/file_open_error.h"
#include "firmware/format_error.h"
#include "flash/region_flash_maps.h"
#include "platform/clock.h"
#include "platform/file_names.h"
#include "platform/sync.h"
#include "settings/localisation.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <initializer_list>

namespace {

constexpr std::uint32_t kPage = 8192;
constexpr std::size_t kPiece = 1024;
constexpr std::uint32_t kBootRecordAddress = 0x10000;
constexpr std::uint32_t kBootRecordSize = 256;
constexpr int kNoHiddenBlock = -1;

bool anyProduct(const CScanner& scanner, std::initializer_list<const char*> models) {
    return std::any_of(models.begin(), models.end(),
                       [&](const char* model) { return scanner.productIs(model); });
}

bool holdsData(CAddressDataList& image) {
    for (auto position = image.head(); position != image.end(); ++position)
        if (image.at(position).size() != 0)
            return true;
    return false;
}

// A block sent twice, once to be written and, after every block was written,
// once to be compared: both messages hold the same bytes, which go when the
// later of the two has been dealt with.
class CSharedBlock : public CAddressData {
public:
    explicit CSharedBlock(std::shared_ptr<CAddressData> block)
        : CAddressData(Borrowed{}, block->address(), block->data(), block->size()),
          block_(std::move(block)) {}

private:
    std::shared_ptr<CAddressData> block_;
};

std::string format(const std::string& pattern, std::uint32_t address, int percent) {
    char text[256];
    std::snprintf(text, sizeof text, pattern.c_str(), static_cast<unsigned>(address), percent);
    return text;
}

} // namespace

CUpgradePipeline::CUpgradePipeline(CScanner& scanner) : scanner_(scanner) {}

std::optional<CCmdError> CUpgradePipeline::deviceError() const {
    std::lock_guard<std::mutex> guard(errorLock_);
    return deviceError_;
}

void CUpgradePipeline::recordDeviceError(const CCmdError& error) {
    std::lock_guard<std::mutex> guard(errorLock_);
    if (!deviceError_)
        deviceError_ = error;
}

bool CUpgradePipeline::hasDeviceError() const {
    std::lock_guard<std::mutex> guard(errorLock_);
    return deviceError_.has_value();
}

void CUpgradePipeline::clearDeviceError() {
    std::lock_guard<std::mutex> guard(errorLock_);
    deviceError_.reset();
}

CUpgradePipeline::~CUpgradePipeline() {
    if (writerThread_ != nullptr) {
        platform::WaitForSingleObject(writerThread_, platform::INFINITE);
        platform::CloseHandle(writerThread_);
    }
    if (writerFinished_ != nullptr)
        platform::CloseHandle(writerFinished_);
}

std::uint32_t CUpgradePipeline::RoundUpToPage(std::uint32_t total) {
    return (total + kPage - 1) / kPage * kPage;
}

void CUpgradePipeline::postDisplayText(std::int32_t code, const std::string& text) {
    displayQueue.post(std::make_unique<CMessageString>(code, text));
}

void CUpgradePipeline::postDevice(std::unique_ptr<CMessage> message) {
    deviceQueue.post(std::move(message));
}

bool CUpgradePipeline::loadImage(CAddressDataList& image) {
    std::int32_t total = 0;
    try {
        total = image.load(firmwarePath);
    } catch (const CFileOpenError&) {
        return false;
    }
    displayQueue.post(std::make_unique<CMessageLong>(
        CMessageAny::kTotalBytes,
        static_cast<std::int32_t>(RoundUpToPage(static_cast<std::uint32_t>(total)))));
    // Every record is checked now: a corrupt image must not cost the scanner
    // its firmware, which the writer erases first.
    for (auto position = image.head(); position != image.end(); ++position) {
        CAddressDataEx& entry = image.at(position);
        try {
            entry.decode();
        } catch (const CFormatError&) {
            char text[160];
            std::snprintf(text, sizeof text,
                          Translate("The firmware file has a bad record in line %d.").c_str(),
                          static_cast<int>(entry.line()));
            recordDeviceError(CCmdError(std::string(text)));
            return false;
        }
    }
    return true;
}

void CUpgradePipeline::failBeforeWriter() {
    postDevice(std::make_unique<CMessageEnd>());
    displayRunning = 0;
    result = 0;
}

void CUpgradePipeline::failAfterWriterStarted() {
    // The blocks not yet written are dropped; the writer ends at the end message.
    deviceQueue.clear();
    postDevice(std::make_unique<CMessageEnd>());
    waitForWriter();
    result = 0;
}

void CUpgradePipeline::startWriter() {
    if (writerFinished_ == nullptr)
        writerFinished_ = platform::CreateEventA(nullptr, platform::TRUE, platform::FALSE, nullptr);
    platform::ResetEvent(writerFinished_);
    writerThread_ =
        platform::CreateThread(nullptr, 0, WriterMain, this, platform::CREATE_SUSPENDED, nullptr);
    platform::ResumeThread(writerThread_);
}

platform::DWORD CUpgradePipeline::WriterMain(void* argument) {
    return static_cast<CUpgradePipeline*>(argument)->writer();
}

void CUpgradePipeline::waitForWriter() {
    if (writerThread_ == nullptr)
        return;
    platform::WaitForSingleObject(writerFinished_, platform::INFINITE);
    platform::DWORD code = platform::STILL_ACTIVE;
    while (platform::GetExitCodeThread(writerThread_, &code) && code == platform::STILL_ACTIVE)
        platform::Sleep(1);
    platform::CloseHandle(writerThread_);
    writerThread_ = nullptr;
}

int CUpgradePipeline::hiddenProgressBlock() {
    if (anyProduct(scanner_, {"SX-105", "M-105", "Do-RIAN", "SX-T25", "M-T25"})) {
        const CDorianFlash dorian;
        std::string name, version;
        if (scanner_.processorInfo(1, name, version) == 0)
            return static_cast<int>(dorian.regions.counts[0] + dorian.regions.counts[2]);
        if (name == "MCON" && version >= "100")
            return static_cast<int>(dorian.regions.counts[0]);
        return 0;
    }
    if (anyProduct(scanner_, {"SX-T18", "M-T18", "SX-T11", "M-T11", "SX-T25II", "M-T25II",
                              "SX-T18II", "M-T18II"})) {
        const CYewFlash yew;
        return static_cast<int>(yew.regions.counts[0] + yew.regions.counts[2]);
    }
    return kNoHiddenBlock;
}

bool CUpgradePipeline::sendable(const CAddressData& block, std::uint32_t covered) const {
    return covered > 0 && written(block.address(), block.size());
}

bool CUpgradePipeline::written(std::uint32_t address, std::uint32_t size) const {
    if (size == 0)
        return false;
    if (!sectionsInUse)
        return true;
    const std::uint64_t blockStart = address;
    const std::uint64_t blockEnd = blockStart + size;
    for (const SectionRange& section : sectionsToWrite) {
        const std::uint64_t start = section.start;
        const std::uint64_t end = start + section.size;
        if (start < blockEnd && blockStart < end)
            return true;
    }
    return false;
}

bool CUpgradePipeline::reachesWrittenBlock(CAddressDataList& image) const {
    const CFlashMap& map = *scanner_.flashWriter.get();
    for (auto position = image.head(); position != image.end(); ++position) {
        const CAddressData& record = image.at(position);
        const std::uint64_t first = record.address();
        const std::uint64_t end = first + record.size();
        for (std::int32_t i = 0; record.size() != 0 && map.GetBlockSize(i) != 0; ++i) {
            const std::uint64_t start = map.GetBlockAddress(i);
            if (first < start + map.GetBlockSize(i) && start < end &&
                written(map.GetBlockAddress(i), map.GetBlockSize(i)))
                return true;
        }
    }
    return false;
}

platform::DWORD CUpgradePipeline::producer() {
    CAddressDataList image;
    postDisplayText(CMessageAny::kLoadingText, Translate("Reading file..."));
    if (!loadImage(image) || scanner_.flashWriter.get() == nullptr) {
        failBeforeWriter();
        return 0;
    }
    // The writer erases first: an image that has lost its data since it was
    // checked (a pipe read a second time) must not leave the flash empty.
    if (!holdsData(image)) {
        recordDeviceError(CCmdError(Translate("The firmware file holds no data.")));
        failBeforeWriter();
        return 0;
    }
    // Nor may an image meant for another scanner, none of whose data falls
    // in a block this one's flash would be written in (its sections, when
    // they are chosen): the firmware would be erased and nothing written.
    if (!reachesWrittenBlock(image)) {
        recordDeviceError(
            CCmdError(Translate("The firmware file holds no data for this scanner.")));
        failBeforeWriter();
        return 0;
    }
    startWriter();

    std::unique_ptr<CAddressData> heldBack;
    std::uint32_t writtenTotal = 0;
    try {
        if (anyProduct(scanner_, {"SX-1400C", "SX-1300C", "OLK"})) {
            std::uint8_t data[36];
            scanner_.inquiry(data, sizeof data);
            if (platform::EqualsNoCase(std::string(reinterpret_cast<const char*>(data + 32), 4),
                                       "B027"))
                heldBack =
                    std::make_unique<CAddressData>(kBootRecordAddress, nullptr, kBootRecordSize);
        }
        postDevice(std::make_unique<CMessageStart>());
        postDevice(std::make_unique<CMessagePageStart>());
        const int hidden = hiddenProgressBlock();

        const std::string expanding = Translate("Expanding data... 0x%x %d%%");
        const std::string writing = Translate("Writing data...");
        std::vector<std::unique_ptr<CAddressData>> compareList;
        const CFlashMap& map = *scanner_.flashWriter.get();
        for (std::int32_t i = 0; map.GetBlockSize(i) != 0; ++i) {
            const std::uint32_t address = map.GetBlockAddress(i);
            const std::uint32_t size = map.GetBlockSize(i);
            const bool showTexts = i != hidden;
            if (showTexts)
                postDevice(std::make_unique<CMessageString>(
                    CMessageAny::kLoadingText, image.empty() ? Translate("Expanding data... ")
                                                             : format(expanding, address, 0)));
            FillProgress progress;
            if (showTexts)
                progress = [&](int percent) {
                    postDevice(std::make_unique<CMessageString>(
                        CMessageAny::kLoadingText, format(expanding, address, percent)));
                };
            FilledBlock filled = FillBlock(image, address, size, progress);
            if (heldBack && address == kBootRecordAddress &&
                filled.block->size() >= kBootRecordSize) {
                std::memcpy(heldBack->data(), filled.block->data(), kBootRecordSize);
                std::memset(filled.block->data(), 0xFF, kBootRecordSize);
            }
            if (!sendable(*filled.block, filled.coveredBytes))
                continue;
            writtenTotal += size;
            const std::shared_ptr<CAddressData> block = std::move(filled.block);
            compareList.push_back(std::make_unique<CSharedBlock>(block));
            postDevice(std::make_unique<CMessageString>(CMessageAny::kLoadingText, writing));
            postDevice(std::make_unique<CSharedBlock>(block));
        }
        // Nothing of the image falls where it is to be written (sections
        // outside its data, say): that is no completed upgrade.
        if (writtenTotal == 0)
            throw CCmdError(Translate("The firmware file holds no data for this scanner."));

        postWriteAndCompare(writtenTotal, compareList);
    } catch (const CCmdError& error) {
        recordDeviceError(error);
        failAfterWriterStarted();
        return 0;
    } catch (const CFormatError&) {
        failAfterWriterStarted();
        return 0;
    } catch (const std::exception&) {
        failAfterWriterStarted();
        return 0;
    }

    waitForWriter();
    platform::DWORD exitCode = result.load() == 1 && !hasDeviceError() ? 1 : 0;

    if (heldBack && exitCode == 1) {
        try {
            scanner_.writeRecord(*heldBack);
            if (compareBlock(*heldBack) != 0) {
                // Whatever progress is left is old news; the dialog still has to
                // hear that the run has ended.
                displayQueue.clear();
                displayQueue.post(std::make_unique<CMessageEnd>());
            } else {
                scanner_.eraseFirmwareArea();
                result = 0;
            }
        } catch (const CCmdError& error) {
            recordDeviceError(error);
            result = 0;
            exitCode = 0;
        }
    }
    return exitCode;
}

void CUpgradePipeline::postWriteAndCompare(
    std::uint32_t writtenTotal, std::vector<std::unique_ptr<CAddressData>>& compareList) {
    displayQueue.post(std::make_unique<CMessageLong>(CMessageAny::kTotalBytes,
                                                     static_cast<std::int32_t>(writtenTotal)));
    postDevice(std::make_unique<CMessageString>(CMessageAny::kLoadingText,
                                                Translate("Write data completed.")));
    postDevice(std::make_unique<CMessagePageEnd>());
    postDevice(
        std::make_unique<CMessageString>(CMessageAny::kCompareText, Translate("Compare data...")));
    postDevice(std::make_unique<CMessagePageStart>());
    for (auto& copy : compareList)
        postDevice(std::move(copy));
    postDevice(std::make_unique<CMessageString>(CMessageAny::kCompareText,
                                                Translate("Compare data completed.")));
    postDevice(std::make_unique<CMessagePageEnd>());
    postDevice(std::make_unique<CMessageEnd>());
}

void CUpgradePipeline::writeBlock(const CAddressData& block) {
    scanner_.eraseBlockAt(block);
    std::size_t done = 0;
    while (done < block.size()) {
        const std::size_t piece = std::min<std::size_t>(kPiece, block.size() - done);
        scanner_.writeMemory(block.address() + static_cast<std::uint32_t>(done),
                             block.data() + done, piece);
        displayQueue.post(std::make_unique<CMessageLong>(CMessageAny::kBytesWritten,
                                                         static_cast<std::int32_t>(piece)));
        done += piece;
    }
}

int CUpgradePipeline::compareBlock(const CAddressData& block) {
    std::size_t done = 0;
    while (done < block.size()) {
        const std::size_t piece = std::min<std::size_t>(kPiece, block.size() - done);
        CAddressData readBack(block.address() + static_cast<std::uint32_t>(done), nullptr,
                              static_cast<std::uint32_t>(piece));
        scanner_.readMemory(readBack);
        if (std::memcmp(readBack.data(), block.data() + done, piece) != 0) {
            std::size_t at = 0;
            while (readBack.data()[at] == block.data()[done + at])
                ++at;
            firstDifference_ = block.address() + static_cast<std::uint32_t>(done + at);
            return 0;
        }
        displayQueue.post(std::make_unique<CMessageLong>(CMessageAny::kBytesCompared,
                                                         static_cast<std::int32_t>(piece)));
        done += piece;
    }
    return 1;
}

platform::DWORD CUpgradePipeline::writer() {
    try {
        if (prepareBeforeWriting)
            scanner_.eraseFirmwareArea();
        bool comparing = false;
        for (;;) {
            std::unique_ptr<CMessage> message = deviceQueue.take(true);
            const int type = message->type();
            if (type == CMessage::kEnd)
                break;
            if (type == CMessage::kAddressData) {
                const auto& block = static_cast<const CAddressData&>(*message);
                if (!comparing) {
                    writeBlock(block);
                } else if (compareBlock(block) == 0) {
                    CCmdError difference(Translate("Data Compare Error"));
                    char where[32];
                    std::snprintf(where, sizeof where, "0x%08X",
                                  static_cast<unsigned>(firstDifference_));
                    difference.setDetail(where);
                    throw difference;
                }
            } else if (type == CMessage::kPageEnd) {
                comparing = true;
            } else if (type != CMessage::kStart && type != CMessage::kPageStart) {
                displayQueue.post(std::move(message));
            }
        }
        displayQueue.post(std::make_unique<CMessageEnd>());
        platform::Sleep(2000);
        result = 1;
        platform::SetEvent(writerFinished_);
        return 1;
    } catch (const CCmdError& error) {
        recordDeviceError(error);
        deviceQueue.skipUntil(CMessage::kEnd);
        displayQueue.post(std::make_unique<CMessageEnd>());
        platform::SetEvent(writerFinished_);
        return 0;
    }
}
