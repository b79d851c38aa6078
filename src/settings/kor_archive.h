#pragma once

#include <cstdint>
#include <string>

// Typed settings kept in the per-user profile, remembered between runs. A value
// remembers what it was loaded as, and a save writes only a changed value.
class CKorArchive {
public:
    enum TypeTag { kPlain = 0, kLong = 1, kString = 2 };

    virtual ~CKorArchive() = default;
    virtual int typeTag() const { return kPlain; }
    virtual bool isChanged() const { return false; }

    const std::string& section() const { return section_; }
    const std::string& entry() const { return entry_; }

protected:
    std::string section_;
    std::string entry_;
};

class CKorArchiveLong : public CKorArchive {
public:
    int typeTag() const override { return kLong; }
    bool isChanged() const override { return value_ != loadedValue_; }

    void load(const std::string& section, const std::string& entry, std::int32_t defaultValue);
    // Writes the value when it differs from the loaded one; the loaded value stays.
    void save() const;

    std::int32_t value() const { return value_; }
    std::int32_t loadedValue() const { return loadedValue_; }
    void setValue(std::int32_t value) { value_ = value; }
    void setLoadedValue(std::int32_t value) { loadedValue_ = value; }
    void copyFrom(const CKorArchiveLong& other) { *this = other; }

private:
    std::int32_t value_ = 0;
    std::int32_t loadedValue_ = 0;
};

class CKorArchiveString : public CKorArchive {
public:
    int typeTag() const override { return kString; }
    bool isChanged() const override { return value_ != loadedValue_; }

    void load(const std::string& section, const std::string& entry,
              const std::string& defaultValue);
    void save() const;

    const std::string& value() const { return value_; }
    const std::string& loadedValue() const { return loadedValue_; }
    void setValue(const std::string& value) { value_ = value; }
    void setLoadedValue(const std::string& value) { loadedValue_ = value; }
    void copyFrom(const CKorArchiveString& other) { *this = other; }

private:
    std::string value_;
    std::string loadedValue_;
};
