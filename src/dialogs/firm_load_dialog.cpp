#include "dialogs/firm_load_dialog.h"

#include "app/family_registry.h"
#include "device/caution_text.h"
#include "device/cmd_error.h"
#include "device/dialog_font.h"
#include "device/error_text.h"
#include "device/messages.h"
#include "device/scanner.h"
#include "device/wait_device_arrival.h"
#include "device/wait_dialog.h"
#include "dialogs/display_name.h"
#include "dialogs/firm_load_template.h"
#include "firmware/firmware_description.h"
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

std::string formatted(const std::string& pattern, const std::string& a, const std::string& b = {}) {
    char text[1024];
    std::snprintf(text, sizeof text, pattern.c_str(), a.c_str(), b.c_str());
    return text;
}

std::string counter(std::int32_t done, std::int32_t total) {
    char text[48];
    std::snprintf(text, sizeof text, "%d / %d", static_cast<int>(done), static_cast<int>(total));
    return text;
}

platform::DWORD sleepWorker(void* argument) {
    platform::Sleep(static_cast<platform::DWORD>(reinterpret_cast<std::uintptr_t>(argument)));
    return 0;
}

} // namespace

CFirmLoadDialog::CFirmLoadDialog(CScanner& scanner)
    : platform::CDialog(UpgradeTemplate()), scanner_(scanner),
      sections_(std::make_unique<FirmwareSections>()) {}

CFirmLoadDialog::~CFirmLoadDialog() {
    if (producerThread_ != nullptr) {
        platform::WaitForSingleObject(producerThread_, platform::INFINITE);
        platform::CloseHandle(producerThread_);
    }
}

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
    // 1. Icons.
    if (!icon.empty()) {
        SetIcon(icon, true);
        SetIcon(icon, false);
    }
    // 2. Settings, localisation, title.
    settingsSection_ = GetWindowTextA();
    autoReset_.load(settingsSection_, "AutoReset", 0);
    lastFile_.load(settingsSection_, "LastFile", "");
    TranslateDialogTexts(*this);
    const std::string device = scanner_.deviceName();
    const auto slash = device.find('\\');
    SetWindowTextA(GetWindowTextA() + " - " +
                   (slash == std::string::npos ? device : device.substr(slash + 1)));

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
    if (!silent && !silentWithError) {
        const unsigned question =
            platform::MB_YESNO | platform::MB_ICONEXCLAMATION | platform::MB_DEFBUTTON2;
        if (platform::MessageBoxA(confirmationText(), Translate("Warning"), question) !=
            platform::IDYES) {
            EndDialog(2);
            return platform::TRUE;
        }
        const std::string cautions = Translate("<Cautions for upgrade>") + "\n" + cautionLines();
        if (platform::MessageBoxA(cautions, Translate("Warning"), question) != platform::IDYES) {
            EndDialog(2);
            return platform::TRUE;
        }
    }

    // 7. Notice.
    const bool namesProcessor =
        automatic && modelIs({"SX-4600C", "SX-3500C", "SX-2600C", "SX-V730", "SX-V700", "SX-470M"});
    const std::string heading = namesProcessor
                                    ? formatted(Translate("Upgrading %s firmware"), "Main Cpu")
                                    : Translate("Upgrading firmware");
    SetDlgItemTextA(kNotice, heading + "\n\n" + CautionText());

    // 8, 9. The firmware file.
    if (firmwarePath.empty()) {
        platform::OpenFileRequest request;
        request.defaultExtension = "MOT";
        request.initialName = lastFile_.value();
        request.filter = Translate("MOT File(*.MOT)|*.mot|All Files(*.*)|*.*||");
        const std::optional<std::string> chosen = platform::ShowOpenFileDialog(request);
        if (!chosen) {
            EndDialog(1);
            return platform::TRUE;
        }
        firmwarePath = *chosen;
    }
    lastFile_.setValue(firmwarePath);
    lastFile_.save();

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
            ? formatted(Translate("Are you sure that you update the \"%s\" scanner %s firmware?"),
                        displayName_, "Main Cpu")
            : formatted(Translate("Are you sure that you update the \"%s\" scanner firmware?"),
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

platform::DWORD CFirmLoadDialog::ProducerMain(void* argument) {
    return static_cast<CUpgradePipeline*>(argument)->producer();
}

void CFirmLoadDialog::startUpgrade() {
    bytesWritten_ = 0;
    bytesCompared_ = 0;
    pipeline_ = std::make_unique<CUpgradePipeline>(scanner_);
    pipeline_->firmwarePath = firmwarePath;
    pipeline_->sectionsInUse = sections_->sectionsInUse;
    pipeline_->prepareBeforeWriting = sections_->prepareBeforeWriting;
    for (const auto& section : sections_->sections)
        if (section.state == 2)
            pipeline_->sectionsToWrite.push_back(
                {section.start, static_cast<std::uint32_t>(section.size)});
    pipeline_->displayRunning = 1;
    producerThread_ = platform::CreateThread(nullptr, 0, ProducerMain, pipeline_.get(),
                                             platform::CREATE_SUSPENDED, nullptr);
    platform::ResumeThread(producerThread_);
    SetTimer(kTimer, kTimerPeriod);
    SetDlgItemTextA(kLoadingStatus, "");
}

void CFirmLoadDialog::OnOK() {
    if (producerThread_ == nullptr)
        platform::CDialog::OnOK();
}

void CFirmLoadDialog::OnCancel() {
    if (producerThread_ == nullptr)
        platform::CDialog::OnCancel();
}

void CFirmLoadDialog::drainDisplayQueue() {
    for (std::unique_ptr<CMessage> message; (message = pipeline_->displayQueue.take(false));) {
        switch (message->type()) {
        case CMessage::kLong: {
            const auto& number = static_cast<const CMessageLong&>(*message);
            // Each counter follows its bar at once, so that whoever looks at
            // the dialog never sees a bar ahead of its count.
            if (number.code() == CMessageAny::kBytesWritten) {
                bytesWritten_ += number.value();
                SetPos(kLoadingBar, bytesWritten_);
                SetDlgItemTextA(kLoadingCount, counter(bytesWritten_, total_));
            } else if (number.code() == CMessageAny::kBytesCompared) {
                bytesCompared_ += number.value();
                SetPos(kCompareBar, bytesCompared_);
                SetDlgItemTextA(kCompareCount, counter(bytesCompared_, total_));
            } else if (number.code() == CMessageAny::kTotalBytes) {
                total_ = number.value();
                SetRange(kLoadingBar, 0, total_);
                SetRange(kCompareBar, 0, total_);
            }
            break;
        }
        case CMessage::kString: {
            const auto& text = static_cast<const CMessageString&>(*message);
            SetDlgItemTextA(text.code() == CMessageAny::kCompareText ? kCompareStatus
                                                                     : kLoadingStatus,
                            text.text());
            break;
        }
        case CMessage::kEnd:
            pipeline_->displayRunning = 0;
            break;
        default:
            break;
        }
        if (pipeline_->displayRunning == 0)
            break;
    }
}

void CFirmLoadDialog::OnTimer(platform::UINT_PTR id) {
    if (id != kTimer || !pipeline_)
        return;
    if (pipeline_->displayRunning != 0)
        drainDisplayQueue();
    if (pipeline_->displayRunning != 0 || producerThread_ == nullptr)
        return;
    if (platform::WaitForSingleObject(producerThread_, 0) != platform::WAIT_OBJECT_0)
        return;
    KillTimer(kTimer);
    platform::DWORD exitCode = 0;
    platform::GetExitCodeThread(producerThread_, &exitCode);
    platform::CloseHandle(producerThread_);
    producerThread_ = nullptr;
    if (exitCode == 0 && pipeline_->deviceError())
        reportDeviceError(*pipeline_->deviceError());
    completed = exitCode == 1 && pipeline_->result == 1;
    reportResult();
}

void CFirmLoadDialog::reportResult() {
    if (closeDeviceAtEnd) {
        try {
            deviceClosed_ = true;
            if (restartAtEnd) {
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
            scanner_.open(0);
        } catch (const CCmdError& error) {
            reportDeviceError(error);
        }
    }
    autoReset_.save();
}
