#pragma once

#include "dialogs/processor_link.h"
#include "firmware/address_data_list.h"
#include "firmware/image_check.h"
#include "firmware/upgrade_pipeline.h"

// The upgrade pipeline of a processor behind the main controller. The image
// is read, every record checked and laid out over the processor's flash
// before the dialog opens the processor's programming session, so that a bad
// file never reaches the processor: every block of the map is filled by
// walking the whole image. The producer queues all the blocks and only then
// starts the writer; the writer sends each block as set-address and data
// frames of at most 112 bytes, and reads it back the same way.
class CProcessorPipeline : public CUpgradePipeline {
public:
    CProcessorPipeline(CScanner& scanner, const ProcessorRow& row);

    // "Reading file...", then the image and its blocks; false when the file
    // cannot be read, a record is bad or the processor has no flash map. The
    // producer prepares it itself when this was not called.
    bool prepareImage();
    // Whether the image has a byte for the processor's flash (after prepareImage).
    bool hasData() const { return blockCount_ > 0; }

    platform::DWORD producer() override;
    void writeBlock(const CAddressData& block) override;
    int compareBlock(const CAddressData& block) override;

    // The producer ended before the writer started: the file could not be
    // read, a record was bad or the processor has no flash map.
    bool failedLoading() const { return failedLoading_; }
    // Why the image could not be used, when the file or a record was at
    // fault; empty otherwise.
    std::string loadProblem() const { return check_.text(); }

private:
    bool layOut();
    platform::DWORD failLoading();

    const ProcessorRow& row_;
    CProcessorLink link_;
    std::vector<std::unique_ptr<CAddressData>> blocks_;
    std::size_t blockCount_ = 0;
    ImageCheck check_;
    bool prepared_ = false;
    bool imageGood_ = false;
    bool failedLoading_ = false;
};
