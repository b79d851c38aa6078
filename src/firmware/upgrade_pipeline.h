#pragma once

#include "device/cmd_error.h"
#include "device/message_queue.h"
#include "platform/win_types.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class CAddressData;
class CAddressDataList;
class CScanner;

// The two worker threads of a main controller upgrade. The producer reads the
// image, lays it out block by block over the scanner's flash map and queues the
// blocks for the writer; the writer erases, writes and reads back every block.
// Both report to the dialog only through the display queue, which the dialog's
// timer empties.
//
// The image is read and every record checked before the writer starts, so that
// a file that cannot be read or a record that fails its checksum ends the run
// before anything on the scanner is erased.
class CUpgradePipeline {
public:
    // A flash range whose blocks are written when the sectioned form is used.
    struct SectionRange {
        std::uint32_t start = 0;
        std::uint32_t size = 0;
    };

    explicit CUpgradePipeline(CScanner& scanner);
    virtual ~CUpgradePipeline();
    CUpgradePipeline(const CUpgradePipeline&) = delete;
    CUpgradePipeline& operator=(const CUpgradePipeline&) = delete;

    // Set by the dialog before the producer starts.
    std::string firmwarePath;
    bool sectionsInUse = false;
    std::vector<SectionRange> sectionsToWrite; // the sections in state 2
    bool prepareBeforeWriting = true;

    CMessageQueue deviceQueue;
    CMessageQueue displayQueue;
    // 1 after a complete run.
    std::atomic<std::int32_t> result{0};
    // The dialog's "display running" flag; the producer clears it itself when
    // the run ends before the writer starts.
    std::atomic<std::int32_t> displayRunning{1};

    // Thread bodies; the producer's exit code is 1 on success.
    virtual platform::DWORD producer();
    platform::DWORD writer();
    void startWriter();

    // The error that stopped the run: the first one either thread met.
    std::optional<CCmdError> deviceError() const;

    // 0 erased first, then written in pieces of at most 1024 bytes.
    virtual void writeBlock(const CAddressData& block);
    // 1 when the scanner holds exactly the block's bytes.
    virtual int compareBlock(const CAddressData& block);

    static std::uint32_t RoundUpToPage(std::uint32_t total);

protected:
    // Reads the image and checks every record, posting the rounded-up total.
    bool loadImage(CAddressDataList& image);
    void failBeforeWriter();
    void failAfterWriterStarted();
    void waitForWriter();
    // The end of the run after the last block: the compare copies follow the
    // written blocks, each pass between a page start and a page end.
    void postWriteAndCompare(std::uint32_t writtenTotal,
                             std::vector<std::unique_ptr<CAddressData>>& compareList);
    void postDisplayText(std::int32_t code, const std::string& text);
    void postDevice(std::unique_ptr<CMessage> message);

    // The producer and the writer may both fail at once (a scanner gone
    // under both); the first error is kept.
    void recordDeviceError(const CCmdError& error);
    bool hasDeviceError() const;
    void clearDeviceError();

    CScanner& scanner_;
    // Where the last compare that failed found the first different byte.
    std::uint32_t firstDifference_ = 0;

private:
    mutable std::mutex errorLock_;
    std::optional<CCmdError> deviceError_;

    int hiddenProgressBlock();
    bool sendable(const CAddressData& block, std::uint32_t covered) const;
    // Whether the block at `address` is one the run writes (in a chosen
    // section, when sections are in use).
    bool written(std::uint32_t address, std::uint32_t size) const;
    // Whether some record of the image falls in a block the run writes.
    bool reachesWrittenBlock(CAddressDataList& image) const;

    static platform::DWORD WriterMain(void* argument);

    platform::HANDLE writerThread_ = nullptr;
    platform::HANDLE writerFinished_ = nullptr;
};
