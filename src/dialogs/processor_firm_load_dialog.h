#pragma once

#include "dialogs/processor_pipeline.h"
#include "dialogs/processor_row.h"
#include "dialogs/producer_thread.h"
#include "dialogs/upgrade_window.h"
#include "platform/dialog.h"
#include "settings/kor_archive.h"

#include <cstdint>
#include <memory>
#include <string>

class CCmdError;
class CScanner;

// The upgrade of a processor behind the main controller: checks the
// processors the main controller reports and the processor's version, asks
// for confirmation, opens the processor's programming session (the start
// command), and runs the processor pipeline while a 100 ms timer moves the
// two bars. The result shows only in the end code; the dialog itself shows
// no result text.
//
// End codes: 1 after a completed upgrade, when the file dialog is cancelled,
// and when the start command fails after the file dialog; 2 when nothing
// needs to be written (alreadyUpToDate set), after a declined confirmation,
// when the start command fails for a path the caller gave, and after a
// failure. `completed` tells a real upgrade from the other ends with 1; an
// image with nothing for the processor ends with 1 without it.
class CProcessorFirmLoadDialog : public platform::CDialog {
public:
    ~CProcessorFirmLoadDialog() override;

    // Set by the caller before DoModal.
    bool finishOnClose = false;
    bool silent = false;
    bool silentWithError = false;
    bool force = false;
    bool automatic = false;
    std::string firmwarePath;
    std::int32_t newVersion = 0;
    std::string newVersionText;
    std::string icon;

    // Read by the caller after DoModal.
    bool alreadyUpToDate = false;
    bool completed = false;

    // Closes the processor's programming session (the finish command). A
    // failure is reported, ends the dialog with 1 and clears `completed`;
    // false then.
    bool finish();

    // 1 when the processor needs the offered version.
    int needsUpgrade();

    const ProcessorRow& row() const { return row_; }

protected:
    CProcessorFirmLoadDialog(CScanner& scanner, int templateId);

    // The row of this dialog for the scanner it talks to.
    virtual ProcessorRow chooseRow() const = 0;

    platform::BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(platform::UINT_PTR id) override;
    void OnDestroy() override;

    CScanner& scanner_;

private:
    bool namesProcessor() const;
    std::string confirmationText() const;
    void reportNoNeed();
    bool sendStart();
    void reportCommandError(const CCmdError& error);
    void reportFailureLoading();
    void startUpgrade();

    ProcessorRow row_;
    std::string settingsSection_;
    std::string displayName_;
    std::string currentVersionText_;
    std::int32_t currentVersion_ = 0;
    bool unidentified_ = false; // the version check could not ask a processor
    CKorArchiveLong autoReset_;
    CKorArchiveString lastFile_;
    UpgradeProgress progress_;
    std::unique_ptr<CProcessorPipeline> pipeline_;
    ProducerThread producer_;
};
