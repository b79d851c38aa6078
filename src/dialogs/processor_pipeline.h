#pragma once

#include "dialogs/processor_link.h"
#include "firmware/address_data_list.h"
#include "firmware/upgrade_pipeline.h"

// The upgrade pipeline of a processor behind the main controller. The image
// is read and every record checked before the dialog opens the processor's
// programming session, so that a bad file never reaches the processor. The
// producer then lays out every block of the processor's flash, walking the
// whole image for each, queues them all and only then starts the writer; the
// writer sends each block as set-address and data frames of at most 112
// bytes, and reads it back the same way.
class CProcessorPipeline : public CUpgradePipeline {
public:
    CProcessorPipeline(CScanner& scanner, const ProcessorRow& row);

    // "Reading file...", then the image; false when it cannot be read or a
    // record is bad. The producer reads it itself when this was not called.
    bool prepareImage();

    platform::DWORD producer() override;
    void writeBlock(const CAddressData& block) override;
    int compareBlock(const CAddressData& block) override;

    // The producer ended before the writer started: the file could not be
    // read, a record was bad or the processor has no flash map.
    bool failedLoading() const { return failedLoading_; }

private:
    platform::DWORD failLoading();

    const ProcessorRow& row_;
    CProcessorLink link_;
    CAddressDataList image_;
    bool prepared_ = false;
    bool imageGood_ = false;
    bool failedLoading_ = false;
};
