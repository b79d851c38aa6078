#include "dialogs/processor_pipeline.h"

#include "device/messages.h"
#include "firmware/block_fill.h"
#include "firmware/format_error.h"
#include "firmware/image_check.h"
#include "flash/flash_map.h"
#include "settings/localisation.h"

#include <algorithm>
#include <cstring>
#include <exception>

CProcessorPipeline::CProcessorPipeline(CScanner& scanner, const ProcessorRow& row)
    : CUpgradePipeline(scanner), row_(row), link_(scanner, row) {
    prepareBeforeWriting = false;
}

bool CProcessorPipeline::layOut() {
    check_ = CheckImageFile(firmwarePath);
    if (!check_.good())
        return false;
    CAddressDataList image;
    if (!loadImage(image))
        return false;
    std::unique_ptr<CFlashMap> map = row_.createMap();
    if (!map)
        return false;
    try {
        for (std::int32_t i = 0; map->GetBlockSize(i) != 0; ++i) {
            const std::uint32_t size = map->GetBlockSize(i);
            FilledBlock filled =
                FillBlock(image, map->GetBlockAddress(i), size, {}, FillWalk::kWholeList);
            if (filled.coveredBytes != 0 && size != 0)
                blocks_.push_back(std::move(filled.block));
        }
    } catch (const CFormatError&) {
        return false;
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

bool CProcessorPipeline::prepareImage() {
    if (prepared_)
        return imageGood_;
    prepared_ = true;
    postDisplayText(CMessageAny::kLoadingText, Translate("Reading file..."));
    imageGood_ = layOut();
    // A bad record is reported as a failed load, not as a device error.
    clearDeviceError();
    if (!imageGood_)
        blocks_.clear();
    blockCount_ = blocks_.size();
    return imageGood_;
}

platform::DWORD CProcessorPipeline::failLoading() {
    // Nothing has reached the writer; the dialog's timer reports the failure.
    postDevice(std::make_unique<CMessageEnd>());
    deviceQueue.skipUntil(CMessage::kEnd);
    displayQueue.post(std::make_unique<CMessageEnd>());
    failedLoading_ = true;
    result = 0;
    return 0;
}

platform::DWORD CProcessorPipeline::producer() {
    if (!prepareImage())
        return failLoading();
    postDevice(std::make_unique<CMessageStart>());
    postDevice(std::make_unique<CMessagePageStart>());
    std::uint32_t writtenTotal = 0;
    std::vector<std::unique_ptr<CAddressData>> compareList;
    const std::string writing = Translate("Writing data...");
    for (std::unique_ptr<CAddressData>& block : blocks_) {
        writtenTotal += block->size();
        compareList.push_back(std::make_unique<CAddressData>(*block));
        postDevice(std::make_unique<CMessageString>(CMessageAny::kLoadingText, writing));
        postDevice(std::move(block));
    }
    blocks_.clear();
    // Everything is queued, and the total is on its way to the bars, before
    // the writer can count a byte against it.
    postWriteAndCompare(writtenTotal, compareList);
    startWriter();
    waitForWriter();
    return result.load() == 1 && !hasDeviceError() ? 1 : 0;
}

void CProcessorPipeline::writeBlock(const CAddressData& block) {
    if (!link_.sendsCommands())
        return;
    std::uint32_t address = block.address();
    std::size_t done = 0;
    while (done < block.size()) {
        const std::size_t piece = std::min(CProcessorLink::kMaxData, block.size() - done);
        link_.setAddress(address);
        link_.writeData(block.data() + done, piece);
        displayQueue.post(std::make_unique<CMessageLong>(CMessageAny::kBytesWritten,
                                                         static_cast<std::int32_t>(piece)));
        address += static_cast<std::uint32_t>(piece);
        done += piece;
    }
}

int CProcessorPipeline::compareBlock(const CAddressData& block) {
    if (!link_.sendsCommands())
        return 1;
    std::uint32_t address = block.address();
    std::size_t done = 0;
    std::uint8_t readBack[CProcessorLink::kMaxData];
    while (done < block.size()) {
        const std::size_t piece = std::min(CProcessorLink::kMaxData, block.size() - done);
        link_.setAddress(address);
        link_.readData(readBack, piece);
        if (std::memcmp(readBack, block.data() + done, piece) != 0) {
            std::size_t at = 0;
            while (readBack[at] == block.data()[done + at])
                ++at;
            firstDifference_ = address + static_cast<std::uint32_t>(at);
            return 0;
        }
        displayQueue.post(std::make_unique<CMessageLong>(CMessageAny::kBytesCompared,
                                                         static_cast<std::int32_t>(piece)));
        address += static_cast<std::uint32_t>(piece);
        done += piece;
    }
    return 1;
}
