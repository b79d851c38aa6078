#include "dialogs/firm_load_dialog.h"

#include "app/family_registry.h"
#include "device/caution_text.h"
#include "device/cmd_error.h"
#include "device/dialog_font.h"
#include "device/error_text.h"
#include "device/messages.h"
#include "device/scanner.h"
#include "device/user_message.h"
#include "device/wait_device_arrival.h"
#include "device/wait_dialog.h"
#include "dialogs/display_name.h"
#include "dialogs/firm_load_template.h"
#include "dialogs/upgrade_window.h"
#include "firmware/firmware_description.h"
#include "firmware/image_check.h"
#include "platform/clock.h"
#include "platform/front_end.h"
#include "platform/message_box.h"
#include "platform/sync.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

namespace {

using namespace firm_load;

constexpr platform::UINT_PTR kTimer = 0;
constexpr platform::UINT kTimerPeriod = 100;

// The 32 characters that open the download mode, sent as the parameter data of
// the download SEND. Printable ASCII, put together at run time.
std::string downloadCode() {
    std::string code = "KORVATEK FIRMWARE DOWNLOAD V";
    for (int digit : {0, 0, 0, 1})
        code += static_cast<char>('0' + digit);
    return code;
}

const std::uint8_t kDownloadSend[10] = {0x2A, 0, 0x84, 0, 0, 0x64, 0, 0, 0x20, 0};

platform::DWORD sleepWorker(void* argument) {
    platform::Sleep(static_cast<platform::DWORD>(reinterpret_cast<std::uintptr_t>(argument)));
    return 0;
}

} // namespace

CFirmLoadDialog::CFirmLoadDialog(CScanner& scanner)
    : platform::CDialog(UpgradeTemplate()), scanner_(scanner),
      sections_(std::make_unique<FirmwareSections>()) {}

CFirmLoadDialog::~CFirmLoadDialog() = default;

bool CFirmLoadDialog::modelIs(std::initializer_list<const char*> models) const {
    return std::any_of(models.begin(), models.end(),
                       [this](const char* model) { return scanner_.productIs(model); });
}

std::string CFirmLoadDialog::cautionLines() const {
    return CautionLines();
}

std::string CFirmLoadDialog::currentVersion() const {
    return scanner_.versionString;
}

void CFirmLoadDialog::reportDeviceError(const CCmdError& error) {
    const std::string text = errorText(error);
    if (silentWithError)
        WriteLog(text + "\r\n");
    else
        platform::MessageBoxA(text, Translate("Error"), platform::MB_OK);
}

void CFirmLoadDialog::timedWait(platform::DWORD milliseconds) {
    CWaitDialog wait(scanner_);
    ApplyDialogFont(wait);
    wait.run(sleepWorker, reinterpret_cast<void*>(static_cast<std::uintptr_t>(milliseconds)));
}

platform::BOOL CFirmLoadDialog::OnInitDialog() {
    // 1, 2. Icons, settings, localisation, title.
    settingsSection_ = PrepareUpgradeWindow(*this, scanner_, icon);
    autoReset_.load(settingsSection_, "AutoReset", 0);
    lastFile_.load(settingsSection_, "LastFile", "");

    // 3. Display name and the decision.
    displayName_ =
        DisplayName(scanner_.modelString, displayNameRows(FirmwareDialog::MainController));
    sections_->force = force;
    if (NeedsUpgrade(scanner_, *sections_) == 0) {
        // 4. Nothing to write.
        alreadyUpToDate = true;
        if (!automatic) {
            std::string text = Translate("There is no need to upgrade the firmware.") + "\n";
            if (sections_->sectionsInUse) {
                for (const auto& section : sections_->sections)
                    if (section.state == 1)
                        text += "  " + section.name + " : " + section.version + "\n";
            } else {
                text += Translate("Current Version : ") + currentVersion() + "\n";
            }
            if (silentWithError)
                WriteLog(text + "\r\n");
            else if (!silent)
                platform::MessageBoxA(text, Translate("Warning"), platform::MB_ICONINFORMATION);
        }
        EndDialog(2);
        return platform::TRUE;
    }

    // 5, 6. Confirmations.
    if (!silent && !silentWithError && !ConfirmUpgrade(confirmationText())) {
        EndDialog(2);
        return platform::TRUE;
    }

    // 7. Notice.
    const bool namesProcessor =
        automatic && modelIs({"SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700", "SX-470M"});
    const std::string heading = namesProcessor
                                    ? FormatText(Translate("Upgrading %s firmware"), "Main Cpu")
                                    : Translate("Upgrading firmware");
    SetDlgItemTextA(kNotice, heading + "\n\n" + CautionText());

    // 8, 9. The firmware file.
    if (firmwarePath.empty()) {
        const std::optional<std::string> chosen = ChooseFirmwareFile(lastFile_.value());
        if (!chosen) {
            EndDialog(1);
            return platform::TRUE;
        }
        firmwarePath = *chosen;
    }
    lastFile_.setValue(firmwarePath);
    lastFile_.save();

    // The whole image is checked before the scanner leaves its normal mode:
    // a bad file ends the run with the scanner as it was. So does a file
    // without data records (an empty one, say), which would have the firmware
    // erased and nothing written in its place.
    const ImageCheck check = CheckImageFile(firmwarePath);
    if (!check.good() || check.dataBytes == 0) {
        reportDeviceError(
            CCmdError(check.good() ? Translate("The firmware file holds no data.") : check.text()));
        releaseDevice(false);
        announceResult();
        return platform::TRUE;
    }

    // 10. Download mode.
    if (scanner_.legacyDevice == 0 && !enterDownloadMode())
        return platform::TRUE;

    // 11. Start.
    startUpgrade();
    return platform::TRUE;
}

std::string CFirmLoadDialog::confirmationText() const {
    const bool namesProcessor =
        automatic && modelIs({"SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700", "SX-470M"});
    std::string text =
        namesProcessor
            ? FormatText(Translate("Are you sure that you update the \"%s\" scanner %s firmware?"),
                         displayName_, "Main Cpu")
            : FormatText(Translate("Are you sure that you update the \"%s\" scanner firmware?"),
                         displayName_);
    text += "\n";
    if (sections_->sectionsInUse) {
        for (const auto& section : sections_->sections)
            if (section.state == 2)
                text += "  " + section.name + " : " + section.version + "\n";
    } else {
        text += Translate("Current Version : ") +
                (scanner_.legacyDevice != 0 ? Translate("Unknown") : currentVersion()) + "\n";
        text += Translate("New Version : ") + OfferedVersion(scanner_) + "\n";
    }
    text += "\n\n" + Translate("<Cautions for upgrade>") + "\n" + cautionLines();
    return text;
}

bool CFirmLoadDialog::enterDownloadMode() {
    try {
        const std::string code = downloadCode();
        scanner_.executeOut(CCDB(kDownloadSend), reinterpret_cast<const std::uint8_t*>(code.data()),
                            code.size());
        if (modelIs({"SX-3400C", "XR2"}))
            platform::Sleep(1000);
        if (scanner_.linkFlag() && scanner_.NeedsReconnect()) {
            int mode = 2;
            if (modelIs({"SX-1400C", "SX-1300C", "OLK"})) {
                if (currentVersion().rfind("2.", 0) == 0)
                    mode = 0;
                else if (currentVersion().rfind("3.", 0) == 0)
                    mode = 1;
                else {
                    // A firmware line whose download procedure is unknown: the
                    // scanner stays in its normal mode, and the run says so
                    // rather than ending without a word.
                    ShowOrLog(Translate("Firmware upgrade failed.") + "\n" +
                                  Translate("Please restart the scanner and try again."),
                              Translate("Error"), platform::MB_ICONSTOP, silentWithError);
                    EndDialog(2);
                    return false;
                }
            }
            CWaitDeviceArrival wait(scanner_);
            ApplyDialogFont(wait);
            wait.mode = mode;
            wait.identifier = scanner_.deviceName();
            wait.silent = silentWithError ? 1 : 0;
            if (wait.DoModal() != 1) {
                // The wait has told the user of a scanner that did not come
                // back; a command that failed is reported here.
                if (wait.commandError)
                    throw *wait.commandError;
                EndDialog(2);
                return false;
            }
        } else {
            scanner_.enterUpdateMode();
            timedWait(modelIs({"SX-W50C", "SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700"})
                          ? 10000
                          : 4000);
            scanner_.testUnitReadyQuiet();
        }
    } catch (const CCmdError& error) {
        reportDeviceError(error);
        EndDialog(1);
        return false;
    }
    return true;
}

void CFirmLoadDialog::startUpgrade() {
    progress_.reset();
    pipeline_ = std::make_unique<CUpgradePipeline>(scanner_);
    pipeline_->firmwarePath = firmwarePath;
    pipeline_->sectionsInUse = sections_->sectionsInUse;
    pipeline_->prepareBeforeWriting = sections_->prepareBeforeWriting;
    for (const auto& section : sections_->sections)
        if (section.state == 2)
            pipeline_->sectionsToWrite.push_back(
                {section.start, static_cast<std::uint32_t>(section.size)});
    pipeline_->displayRunning = 1;
    producer_.start(*pipeline_);
    SetTimer(kTimer, kTimerPeriod);
    SetDlgItemTextA(kLoadingStatus, "");
}

void CFirmLoadDialog::OnOK() {
    if (!producer_.exists())
        platform::CDialog::OnOK();
}

void CFirmLoadDialog::OnCancel() {
    if (!producer_.exists())
        platform::CDialog::OnCancel();
}

void CFirmLoadDialog::OnTimer(platform::UINT_PTR id) {
    if (id != kTimer || !pipeline_)
        return;
    const std::optional<platform::DWORD> ended =
        PollUpgrade(*this, *pipeline_, progress_, producer_);
    if (!ended)
        return;
    KillTimer(kTimer);
    const platform::DWORD exitCode = *ended;
    if (exitCode == 0 && pipeline_->deviceError())
        reportDeviceError(*pipeline_->deviceError());
    completed = exitCode == 1 && pipeline_->result == 1;
    reportResult();
}

void CFirmLoadDialog::reportResult() {
    releaseDevice(restartAtEnd);
    announceResult();
}

void CFirmLoadDialog::releaseDevice(bool restart) {
    if (closeDeviceAtEnd) {
        try {
            deviceClosed_ = true;
            if (restart) {
                scanner_.restart();
                scanner_.close();
                if (!modelIs({"SX-V730", "SX-V700"}))
                    timedWait(4000);
            } else {
                scanner_.close();
            }
        } catch (const CCmdError& error) {
            reportDeviceError(error);
        }
    }
}

void CFirmLoadDialog::announceResult() {
    if (completed) {
        SetDlgItemTextA(kNotice, Translate("Completed"));
        if (!automatic) {
            const std::string text = Translate("Firmware upgrade completed.") + "\n" +
                                     Translate("Please restart the scanner.");
            if (silentWithError)
                WriteLog(text + "\r\n");
            else if (!silent)
                platform::MessageBoxA(text, Translate("Firmware upgrade completed."),
                                      platform::MB_ICONINFORMATION);
        }
        platform::CDialog::OnOK();
        return;
    }
    SetDlgItemTextA(kNotice, Translate("Failed"));
    if (!automatic) {
        const std::string text = Translate("Firmware upgrade failed.") + "\n" +
                                 Translate("Please restart the scanner and try again.");
        if (silentWithError)
            WriteLog(text + "\r\n");
        else
            platform::MessageBoxA(text, Translate("Error"), platform::MB_ICONERROR);
    }
    platform::CDialog::OnCancel();
}

void CFirmLoadDialog::OnDestroy() {
    if (completed && autoReset_.value() != 0) {
        try {
            // Closed at the end of the run: it has to be reached again first.
            if (deviceClosed_ && scanner_.open(0) == 0)
                throw CCmdError(Translate("The scanner is not open."));
            scanner_.restart();
            scanner_.close();
            if (!modelIs({"SX-V730", "SX-V700"}))
                timedWait(4000);
            timedWait(modelIs({"SX-W50C", "SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700"})
                          ? 10000
                          : 4000);
            // The upgrade has been reported; a scanner that does not come
            // back from the restart is reported after it.
            if (scanner_.open(0) == 0)
                throw CCmdError(Translate("The scanner did not come back after the restart."));
        } catch (const CCmdError& error) {
            reportDeviceError(error);
        }
    }
    autoReset_.save();
}
