#pragma once

#include "dialogs/producer_thread.h"
#include "dialogs/upgrade_window.h"
#include "firmware/upgrade_pipeline.h"
#include "platform/dialog.h"
#include "settings/kor_archive.h"

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

class CScanner;
class CCmdError;

// The main controller upgrade: decides whether the scanner needs the offered
// firmware, asks for confirmation, switches the scanner into its download
// mode, runs the upgrade pipeline while a 100 ms timer moves the two bars, and
// reports the result.
//
// End codes: 1 after a completed upgrade, 2 (with alreadyUpToDate set) when
// nothing needs to be written, 2 after a declined confirmation or a failure.
// A cancelled file dialog and a device error while entering the download mode
// end with 1 as well, as callers of the dialog have always seen; `completed`
// tells those apart from a real upgrade, and callers decide by it.
class CFirmLoadDialog : public platform::CDialog {
public:
    explicit CFirmLoadDialog(CScanner& scanner);
    ~CFirmLoadDialog() override;

    // Set by the caller before DoModal.
    bool closeDeviceAtEnd = false;
    bool restartAtEnd = false;
    bool silent = false;
    bool silentWithError = false;
    bool force = false;
    bool automatic = false;
    std::string firmwarePath;
    std::string icon;

    // Read by the caller after DoModal.
    bool alreadyUpToDate = false;
    // The upgrade ran to its end and every block compared equal.
    bool completed = false;

protected:
    platform::BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void OnTimer(platform::UINT_PTR id) override;
    void OnDestroy() override;

private:
    bool enterDownloadMode();
    void startUpgrade();
    void reportResult();
    // Closes the device when the caller asked for it, restarting it first
    // when `restart` is set.
    void releaseDevice(bool restart);
    // The notice, the final message, and the end of the dialog.
    void announceResult();
    void reportDeviceError(const CCmdError& error);
    void timedWait(platform::DWORD milliseconds);
    bool modelIs(std::initializer_list<const char*> models) const;
    std::string confirmationText() const;
    std::string cautionLines() const;
    std::string currentVersion() const;

    CScanner& scanner_;
    std::string settingsSection_;
    std::string displayName_;
    UpgradeProgress progress_;
    CKorArchiveLong autoReset_;
    CKorArchiveString lastFile_;
    std::unique_ptr<struct FirmwareSections> sections_;
    std::unique_ptr<CUpgradePipeline> pipeline_;
    ProducerThread producer_;
    bool deviceClosed_ = false;
};
