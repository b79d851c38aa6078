#include "dialogs/processor_firm_load_dialog.h"

#include "device/caution_text.h"
#include "device/cmd_error.h"
#include "device/error_text.h"
#include "device/scanner.h"
#include "device/user_message.h"
#include "dialogs/display_name.h"
#include "dialogs/firm_load_template.h"
#include "platform/message_box.h"
#include "platform/sync.h"
#include "platform/system_info.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

#include <algorithm>

namespace {

using namespace firm_load;

constexpr platform::UINT_PTR kProcessorTimer = 0;
constexpr platform::UINT kProcessorTimerPeriod = 100;

// Neither the producer's failure nor its caption is looked up.
constexpr const char* kFailureLoading = "Failure Loading";
constexpr const char* kFailureCaption = "Firm Load";

std::string decimal(std::int32_t value) {
    return std::to_string(value);
}

} // namespace

CProcessorFirmLoadDialog::CProcessorFirmLoadDialog(CScanner& scanner, int templateId)
    : platform::CDialog(UpgradeTemplate(templateId)), scanner_(scanner) {}

CProcessorFirmLoadDialog::~CProcessorFirmLoadDialog() = default;

bool CProcessorFirmLoadDialog::namesProcessor() const {
    return automatic && std::any_of(row_.namingModels.begin(), row_.namingModels.end(),
                                    [this](const std::string& m) { return scanner_.productIs(m); });
}

int CProcessorFirmLoadDialog::needsUpgrade() {
    if (row_.checks.empty())
        return 1;
    for (const ProcessorRow::Check& check : row_.checks) {
        std::string name, version;
        const CScanner::ProcessorAnswer answer =
            scanner_.queryProcessor(check.index, name, version);
        // A processor that could not be asked is not one that needs nothing:
        // the stage fails rather than passing for up to date.
        unidentified_ = answer == CScanner::ProcessorAnswer::Failed;
        if (answer != CScanner::ProcessorAnswer::Named || name != check.name)
            return 0;
    }
    currentVersion_ = scanner_.processorVersion(row_.versionIndex);
    currentVersionText_ = decimal(currentVersion_);
    if (force)
        return currentVersion_ != newVersion ? 1 : 0;
    return currentVersion_ < newVersion ? 1 : 0;
}

void CProcessorFirmLoadDialog::reportNoNeed() {
    const std::string text =
        FormatText(Translate("There is no need to upgrade the %s firmware."), row_.processorName) +
        "\n" + Translate("Current Version : ") + currentVersionText_ + "\n";
    if (silentWithError)
        WriteLog(text + "\r\n");
    else if (!silent)
        platform::MessageBoxA(text, Translate("Warning"), platform::MB_ICONINFORMATION);
}

std::string CProcessorFirmLoadDialog::confirmationText() const {
    std::string text =
        namesProcessor()
            ? FormatText(Translate("Are you sure that you update the \"%s\" scanner %s firmware?"),
                         displayName_, row_.processorName)
            : FormatText(Translate("Are you sure that you update the \"%s\" scanner firmware?"),
                         displayName_);
    text += "\n";
    text += Translate("Current Version : ") +
            (currentVersion_ == 0 ? Translate("Unknown") : currentVersionText_) + "\n";
    text += Translate("New Version : ") +
            (newVersion == 0 ? Translate("Unknown") : newVersionText) + "\n";
    text += "\n\n" + Translate("<Cautions for upgrade>") + "\n" + CautionLines();
    return text;
}

platform::BOOL CProcessorFirmLoadDialog::OnInitDialog() {
    row_ = chooseRow();
    settingsSection_ = PrepareUpgradeWindow(*this, scanner_, icon);
    autoReset_.load(settingsSection_, "AutoReset", 0);
    lastFile_.load(settingsSection_, "LastFile", "");

    displayName_ = ProcessorDisplayName(scanner_.modelString, displayNameRows(row_.dialog));
    const int needed = needsUpgrade();
    if (unidentified_) {
        ShowOrLog(
            FormatText(Translate("The %s firmware version cannot be read."), row_.processorName),
            Translate("Error"), platform::MB_ICONERROR, silentWithError);
        EndDialog(1);
        return platform::TRUE;
    }
    if (needed == 0) {
        alreadyUpToDate = true;
        if (!automatic)
            reportNoNeed();
        EndDialog(2);
        return platform::TRUE;
    }

    if (!silent && !silentWithError && !ConfirmUpgrade(confirmationText())) {
        EndDialog(2);
        return platform::TRUE;
    }

    const std::string heading =
        namesProcessor() ? FormatText(Translate("Upgrading %s firmware"), row_.processorName)
                         : Translate("Upgrading firmware");
    SetDlgItemTextA(kNotice, heading + "\n\n" + CautionText());

    const bool pathGiven = !firmwarePath.empty();
    if (!pathGiven) {
        const std::optional<std::string> chosen = ChooseFirmwareFile(lastFile_.value());
        if (!chosen) {
            EndDialog(1);
            return platform::TRUE;
        }
        firmwarePath = *chosen;
    }
    lastFile_.setValue(firmwarePath);
    lastFile_.save();

    // The image is read and checked before the processor's session opens: a
    // file that cannot be used must not cost the processor its firmware.
    pipeline_ = std::make_unique<CProcessorPipeline>(scanner_, row_);
    pipeline_->firmwarePath = firmwarePath;
    if (!pipeline_->prepareImage()) {
        reportFailureLoading();
        EndDialog(2);
        return platform::TRUE;
    }

    // An image with nothing for this processor leaves it alone: the run
    // writes and compares nothing and needs no programming session. The end
    // code stays 1, but the processor did not get the offered firmware, and
    // whoever runs the upgrade is told so.
    if (!pipeline_->hasData()) {
        ShowOrLog(FormatText(Translate("The firmware file holds no data for the %s."),
                             row_.processorName),
                  Translate("Error"), platform::MB_ICONERROR, silentWithError);
        startUpgrade();
        return platform::TRUE;
    }
    if (pathGiven) {
        if (scanner_.legacyDevice == 0 && !sendStart()) {
            EndDialog(2);
            return platform::TRUE;
        }
    } else if (!sendStart()) {
        return platform::TRUE;
    }

    startUpgrade();
    return platform::TRUE;
}

void CProcessorFirmLoadDialog::reportCommandError(const CCmdError& error) {
    const std::string text = errorText(error);
    if (silentWithError)
        WriteLog(text + "\r\n");
    else
        platform::MessageBoxA(text, platform::ApplicationName(), platform::MB_OK);
}

void CProcessorFirmLoadDialog::reportFailureLoading() {
    const std::string problem = pipeline_ ? pipeline_->loadProblem() : std::string();
    if (!problem.empty())
        ShowOrLog(problem, Translate("Error"), platform::MB_ICONERROR, silentWithError);
    if (silentWithError)
        WriteLog(std::string(kFailureLoading) + "\r\n");
    else
        platform::MessageBoxA(kFailureLoading, kFailureCaption, platform::MB_OK);
}

bool CProcessorFirmLoadDialog::sendStart() {
    try {
        CProcessorLink(scanner_, row_).start();
        return true;
    } catch (const CCmdError& error) {
        reportCommandError(error);
        EndDialog(1);
        return false;
    }
}

bool CProcessorFirmLoadDialog::finish() {
    try {
        CProcessorLink(scanner_, row_).finish();
        return true;
    } catch (const CCmdError& error) {
        // A session that could not be closed is no completed upgrade.
        completed = false;
        reportCommandError(error);
        EndDialog(1);
        return false;
    }
}

void CProcessorFirmLoadDialog::startUpgrade() {
    progress_.reset();
    pipeline_->displayRunning = 1;
    producer_.start(*pipeline_);
    SetTimer(kProcessorTimer, kProcessorTimerPeriod);
    SetDlgItemTextA(kLoadingStatus, "");
}

void CProcessorFirmLoadDialog::OnOK() {
    if (!producer_.exists())
        platform::CDialog::OnOK();
}

void CProcessorFirmLoadDialog::OnCancel() {
    if (!producer_.exists())
        platform::CDialog::OnCancel();
}

void CProcessorFirmLoadDialog::OnTimer(platform::UINT_PTR id) {
    if (id != kProcessorTimer || !pipeline_)
        return;
    const std::optional<platform::DWORD> ended =
        PollUpgrade(*this, *pipeline_, progress_, producer_);
    if (!ended)
        return;
    KillTimer(kProcessorTimer);
    const platform::DWORD exitCode = *ended;
    if (exitCode != 0) {
        completed = pipeline_->result == 1 && pipeline_->hasData();
        platform::CDialog::OnOK();
        return;
    }
    if (pipeline_->failedLoading())
        reportFailureLoading();
    else if (pipeline_->deviceError())
        reportCommandError(*pipeline_->deviceError());
    platform::CDialog::OnCancel();
}

void CProcessorFirmLoadDialog::OnDestroy() {
    if (completed && (autoReset_.value() != 0 || finishOnClose))
        finish();
    autoReset_.save();
}
