#include "settings/kor_archive.h"

#include "platform/profile_store.h"

void CKorArchiveLong::load(const std::string& section, const std::string& entry,
                           std::int32_t defaultValue) {
    value_ = platform::GetProfileIntA(section, entry, defaultValue);
    loadedValue_ = value_;
    section_ = section;
    entry_ = entry;
}

void CKorArchiveLong::save() const {
    if (isChanged())
        platform::WriteProfileInt(section_, entry_, value_);
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
        platform::WriteProfileStringA(section_, entry_, value_);
}
