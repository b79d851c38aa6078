#include "app/upgrade_dispatch.h"

#include "app/automatic_sequence.h"
#include "app/family_registry.h"
#include "device/config_dialog.h"
#include "device/dialog_font.h"
#include "device/scanner.h"
#include "dialogs/firm_load_dialog.h"
#include "platform/message_box.h"
#include "platform/profile_store.h"
#include "platform/system_info.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"
#include "settings/settings_file.h"

namespace {

// The application's icon resource.
constexpr const char* kDispatchIcon = "128";

void ordinaryUpgrade(CScanner& scanner, const std::vector<std::string>& arguments,
                     const RunFlags& flags, const FamilyProperties& properties) {
    CFirmLoadDialog dialog(scanner);
    if (arguments.size() < 2) {
        // Shown as it stands, without the message lookup.
        const std::string text = "Invalid parameter.";
        if (flags.silentWithError != 0)
            WriteLog(text + "\r\n");
        else
            platform::MessageBoxA(text, "", platform::MB_ICONERROR);
        return;
    }
    dialog.silent = flags.silent != 0;
    dialog.silentWithError = flags.silentWithError != 0;
    dialog.force = flags.force != 0;
    dialog.closeDeviceAtEnd = true;
    dialog.firmwarePath = arguments[1];
    dialog.icon = kDispatchIcon;
    dialog.restartAtEnd = properties.restartAtEnd;
    ApplyDialogFont(dialog);
    const auto code = dialog.DoModal();

    // Only an upgrade that really completed is recorded as one.
    if (code == 1 && dialog.completed && ReadSettingBool("BackupProfile") != 0) {
        const std::string profile = ScannerProfileFileName();
        const bool written = WriteNamedBool("UpgradeCompleted", true, profile);
        if (!(WriteNamedBool("ShadingReplace", true, profile) && written))
            WriteLog(Translate("The scanner profile cannot be saved.") + "\n" + profile + "\r\n");
    }
}

} // namespace

std::string ScannerProfileFileName() {
    return platform::ProfileDirectory() + platform::PathSeparator() + "ScannerProfile.ini";
}

void RunUpgradeDispatch(CScanner& scanner, const std::vector<std::string>& arguments,
                        const RunFlags& flags) {
    const FamilyKey key = arguments.size() > 2 ? lookUpFamily(arguments[2]) : FamilyKey::None;
    const FamilyProperties properties = familyProperties(key);
    scanner.identityProcessor = properties.identityProcessor;
    scanner.quietErrors = flags.silentWithError;

    CConfig config(scanner);
    config.silent = flags.silentWithError;
    config.deviceList = familyIdentifiers(key);
    if (config.findDevice(1) == 0)
        return;

    if (properties.upgradePath == UpgradePath::UnionUpdate && flags.unionUpdate != 0)
        CAutomaticSequence(scanner, flags).unionUpdate(key == FamilyKey::Lynx);
    else if (properties.upgradePath == UpgradePath::LumikaSequence)
        CAutomaticSequence(scanner, flags).lumikaSequence();
    else
        ordinaryUpgrade(scanner, arguments, flags, properties);

    scanner.close();
}
