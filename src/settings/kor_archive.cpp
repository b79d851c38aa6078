#include "settings/kor_archive.h"

#include "platform/profile_store.h"
#include "settings/localisation.h"
#include "settings/log_writer.h"

#include <atomic>

namespace {

// The store cannot be written when its directory cannot be made (a file in
// the way, say). The run goes on without remembering; the log says so once.
void reportIfUnsaved(bool written) {
    static std::atomic<bool> reported{false};
    if (!written && !reported.exchange(true))
        WriteLog(Translate("The per-user settings cannot be saved.") + "\n" +
                 platform::ProfileFileName() + "\r\n");
}

} // namespace

void CKorArchiveLong::load(const std::string& section, const std::string& entry,
                           std::int32_t defaultValue) {
    value_ = platform::GetProfileIntA(section, entry, defaultValue);
    loadedValue_ = value_;
    section_ = section;
    entry_ = entry;
}

void CKorArchiveLong::save() const {
    if (isChanged())
        reportIfUnsaved(platform::WriteProfileInt(section_, entry_, value_));
}

void CKorArchiveString::load(const std::string& section, const std::string& entry,
                             const std::string& defaultValue) {
    value_ = platform::GetProfileStringA(section, entry, defaultValue);
    loadedValue_ = value_;
    section_ = section;
    entry_ = entry;
}

void CKorArchiveString::save() const {
    if (isChanged())
        reportIfUnsaved(platform::WriteProfileStringA(section_, entry_, value_));
}
