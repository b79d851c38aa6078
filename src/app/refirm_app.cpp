#include "app/refirm_app.h"

#include "app/run_flags.h"
#include "app/upgrade_dispatch.h"
#include "platform/profile_store.h"
#include "platform/system_info.h"
#include "settings/kor_archive.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

CRefirmApp::CRefirmApp() {
    SetLanguageId(platform::GetUserDefaultLangID());
}

bool CRefirmApp::InitInstance(const std::vector<std::string>& arguments) {
    const std::vector<std::string> argumentList(arguments);
    const RunFlags flags = ParseRunFlags(argumentList);

    platform::SetRegistryKey(kRegistryKey);
    profileSection_ = "General";

    bool logOn = flags.silentWithError != 0;
    if (!logOn) {
        CKorArchiveLong writeLog;
        writeLog.load(profileSection_, "WRITELOG", 0);
        logOn = writeLog.value() != 0;
    }
    if (logOn)
        StartLog(platform::GetTempPathA() + kLogFileName);

    RunUpgradeDispatch(scanner_, argumentList, flags);
    return false;
}

CRefirmApp& RefirmApp() {
    static CRefirmApp app;
    return app;
}
