#include "app/refirm_app.h"

#include "app/run_flags.h"
#include "app/upgrade_dispatch.h"
#include "platform/aspi.h"
#include "platform/message_box.h"
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
    if (logOn) {
        // Without a log the run goes on; whoever started it is told at once,
        // as the entries it would have held are lost.
        const std::string log = platform::GetTempPathA() + kLogFileName;
        if (!StartLog(log))
            platform::MessageBoxA(Translate("The log file cannot be written. The upgrade goes on "
                                            "without a log.") +
                                      "\n" + log,
                                  Translate("Warning"), platform::MB_ICONWARNING);
    }
    // Where the device layer found which SCSI devices, and which it cannot reach.
    for (const std::string& note : platform::AspiNotes())
        WriteLog(note + "\r\n");

    RunUpgradeDispatch(scanner_, argumentList, flags);
    return false;
}

CRefirmApp& RefirmApp() {
    static CRefirmApp app;
    return app;
}
