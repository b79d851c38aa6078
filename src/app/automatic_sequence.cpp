#include "app/automatic_sequence.h"

#include "device/cmd_error.h"
#include "device/dialog_font.h"
#include "device/scanner.h"
#include "device/user_message.h"
#include "device/wait_device_dialog.h"
#include "device/wait_dialog.h"
#include "dialogs/drive_cpu_firm_load_dialogs.h"
#include "dialogs/firm_load_dialog.h"
#include "platform/clock.h"
#include "platform/message_box.h"
#include "settings/localisation.h"
#include "settings/settings_file.h"

namespace {

// The application's icon resource.
constexpr const char* kApplicationIcon = "128";
constexpr platform::DWORD kTimedWait = 4000;
constexpr platform::DWORD kSelectPause = 1000;

constexpr const char* kMainController = "MainControllerNewFirmwareMot";
constexpr const char* kMainControllerVersion = "MainControllerNewFirmwareVersion";

// The union update hands the force flag on and closes the main drive's
// session itself; the LUMIKA dialogs close theirs when they end, and keep
// their own force default.
constexpr CAutomaticSequence::ProcessorStage kMainDrive{true, false, true};
constexpr CAutomaticSequence::ProcessorStage kSubDrive{true, false, false};
constexpr CAutomaticSequence::ProcessorStage kLumika{false, true, false};

platform::DWORD sleepWorker(void*) {
    platform::Sleep(kTimedWait);
    return 0;
}

// Whether the product field (after the 8-character vendor field) is where the
// identification first holds `model`.
bool productFieldHolds(const std::string& inquiry, const char* model) {
    return inquiry.find(model) == 8;
}

} // namespace

bool CAutomaticSequence::ReadKeys(const StageKeys& keys, std::string& image,
                                  std::int32_t& version) {
    image = ReadSettingString(keys.image, "");
    const std::string versionText = ReadSettingString(keys.version, "");
    if (image.empty() || versionText.empty())
        return false;
    version = ReadSettingInt(keys.version, 0);
    return true;
}

bool CAutomaticSequence::processorNamed(int index, const char* expected, bool readVersion) {
    std::string name, version;
    scanner_.processorInfo(index, name, version);
    if (readVersion)
        scanner_.processorVersion(index);
    return !name.empty() && name == expected;
}

void CAutomaticSequence::timedWait() {
    CWaitDialog wait(scanner_);
    ApplyDialogFont(wait);
    wait.run(sleepWorker, nullptr);
}

bool CAutomaticSequence::restartAndReconnect() {
    try {
        scanner_.restart();
    } catch (const CCmdError&) {
        // The scanner may have gone before it could answer; whether it comes
        // back decides.
    }
    scanner_.close();
    if (productFieldHolds(scanner_.inquiryString, "SX-V730") ||
        productFieldHolds(scanner_.inquiryString, "SX-V700"))
        timedWait();
    if (scanner_.linkFlag()) {
        CWaitDeviceDialog wait(scanner_);
        ApplyDialogFont(wait);
        wait.mode = 2;
        wait.silent = flags_.silentWithError;
        wait.DoModal();
    } else {
        timedWait();
    }
    try {
        return scanner_.open(0) != 0;
    } catch (const CCmdError&) {
        return false;
    }
}

CAutomaticSequence::Outcome CAutomaticSequence::runMainController(const std::string& image,
                                                                  bool handForce) {
    CFirmLoadDialog dialog(scanner_);
    dialog.silent = flags_.silent != 0;
    dialog.silentWithError = flags_.silentWithError != 0;
    dialog.force = handForce && flags_.force != 0;
    dialog.automatic = true;
    dialog.firmwarePath = image;
    dialog.icon = kApplicationIcon;
    ApplyDialogFont(dialog);
    const auto code = dialog.DoModal();
    return {code, dialog.alreadyUpToDate, dialog.completed};
}

template <class Dialog>
CAutomaticSequence::Outcome CAutomaticSequence::runProcessor(const std::string& image,
                                                             std::int32_t version,
                                                             const ProcessorStage& how) {
    Dialog dialog(scanner_);
    dialog.silent = flags_.silent != 0;
    dialog.silentWithError = flags_.silentWithError != 0;
    dialog.force = how.handForce && flags_.force != 0;
    dialog.automatic = true;
    dialog.firmwarePath = image;
    dialog.newVersion = version;
    dialog.newVersionText = std::to_string(version);
    dialog.icon = kApplicationIcon;
    dialog.finishOnClose = how.finishOnClose;
    ApplyDialogFont(dialog);
    Outcome outcome{dialog.DoModal(), dialog.alreadyUpToDate, dialog.completed};
    if (outcome.code == 1 && outcome.completed && how.finishAfterUpgrade) {
        dialog.finish();
        outcome.completed = dialog.completed;
    }
    return outcome;
}

bool CAutomaticSequence::Failed(const Outcome& outcome) {
    return !outcome.completed &&
           (outcome.code == 1 || (outcome.code == 2 && !outcome.alreadyUpToDate));
}

template <class Dialog>
bool CAutomaticSequence::processorStage(Stage& stage, const StageKeys& keys,
                                        const ProcessorStage& how) {
    if (stage.done)
        return true;
    std::string image;
    std::int32_t version = 0;
    if (ReadKeys(keys, image, version)) {
        const Outcome outcome = runProcessor<Dialog>(image, version, how);
        if (Failed(outcome))
            return false;
        stage.noNeed = outcome.code == 2;
    }
    stage.done = true;
    return true;
}

void CAutomaticSequence::unionUpdate(bool lynx) {
    Stage main, mainDrive, subDrive;
    bool failure = false;
    if (lynx)
        timedWait();
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        const bool notListed = !processorNamed(0, "MAIN CONTROLLER", false);
        if (!notListed && !processorNamed(1, "MAIN DRIVE", true))
            failure = true;
        if (failure) {
            report(Report::Failed);
            return;
        }

        if (!main.done) {
            std::string image;
            std::int32_t unused = 0;
            if (!ReadKeys({kMainController, kMainControllerVersion}, image, unused)) {
                main.done = true;
                continue;
            }
            const Outcome outcome = runMainController(image, true);
            if (Failed(outcome) || (outcome.code == 1 && !restartAndReconnect())) {
                failure = true;
            } else {
                main.done = true;
                main.noNeed = outcome.code == 2;
            }
            continue;
        }

        if (!notListed &&
            (!processorStage<CMainDrvCpuFirmLoadDialog>(
                 mainDrive, {"MainDriveCpuNewFirmwareMot", "MainDriveCpuNewFirmwareVersion"},
                 kMainDrive) ||
             !processorStage<CSubDrvCpuFirmLoadDialog>(
                 subDrive, {"SubDriveCpuNewFirmwareMot", "SubDriveCpuNewFirmwareVersion"},
                 kSubDrive))) {
            failure = true;
            continue;
        }

        if (main.noNeed && mainDrive.noNeed && subDrive.noNeed) {
            report(Report::NoNeed);
            return;
        }
        if (mainDrive.done && subDrive.done) {
            report(Report::Completed);
            return;
        }
    }
    report(Report::Failed);
}

void CAutomaticSequence::lumikaSequence() {
    Stage subDrive, auth, main;
    bool failure = false;
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        const bool notListed = !processorNamed(0, "MAIN", false);
        if (!notListed &&
            (!processorNamed(1, "SUB DFD", true) || !processorNamed(2, "SUB FAKESENS", true)))
            failure = true;
        if (!failure) {
            try {
                scanner_.selectProcessor(0);
                platform::Sleep(kSelectPause);
            } catch (const CCmdError&) {
                failure = true;
            }
        }
        if (failure) {
            report(Report::Failed);
            return;
        }

        if (!notListed &&
            (!processorStage<CSubDrvCpuFirmLoadDialog>(
                 subDrive, {"SubDriveCpuNewFirmwareMot", "SubDriveCpuNewFirmwareVersion"},
                 kLumika) ||
             !processorStage<CAuthCpuFirmLoadDialog>(
                 auth, {"AuthCpuNewFirmwareMot", "AuthCpuNewFirmwareVersion"}, kLumika))) {
            failure = true;
            continue;
        }

        if (!main.done) {
            std::string image;
            std::int32_t unused = 0;
            if (!ReadKeys({kMainController, kMainControllerVersion}, image, unused)) {
                main.done = true;
            } else {
                const Outcome outcome = runMainController(image, false);
                if (Failed(outcome)) {
                    failure = true;
                    continue;
                }
                main.noNeed = outcome.code == 2;
                if (!restartAndReconnect()) {
                    failure = true;
                    continue;
                }
                main.done = true;
            }
        }

        if (subDrive.noNeed && auth.noNeed && main.noNeed) {
            report(Report::NoNeed);
            return;
        }
        if (subDrive.done && auth.done && main.done) {
            report(Report::Completed);
            return;
        }
    }
    report(Report::Failed);
}

void CAutomaticSequence::report(Report report) {
    const bool toLog = flags_.silentWithError != 0;
    if (report == Report::Failed) {
        ShowOrLog(Translate("Firmware upgrade failed.") + "\n" +
                      Translate("Please restart the scanner and try again."),
                  Translate("Error"), platform::MB_ICONERROR, toLog);
        return;
    }
    const std::string first = report == Report::Completed
                                  ? Translate("Firmware upgrade completed.")
                                  : Translate("There is no need to upgrade the firmware.");
    if (toLog || flags_.silent == 0)
        ShowOrLog(first + "\n" + Translate("Please restart the scanner."),
                  Translate("Firmware upgrade completed."), platform::MB_ICONINFORMATION, toLog);
}
