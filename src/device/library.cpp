#include "device/library.h"

#include "platform/module_loader.h"
#include "platform/version_info.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

CLibrary::~CLibrary() {
    free();
}

platform::HMODULE CLibrary::load(const char* fileName) {
    free();
    module_ = platform::LoadLibraryA(fileName);
    return module_;
}

void CLibrary::free() {
    if (module_ != nullptr) {
        platform::FreeLibrary(module_);
        module_ = nullptr;
    }
}

platform::FARPROC CLibrary::procAddress(const char* name) const {
    return platform::GetProcAddress(module_, name);
}

std::size_t CLibrary::moduleFileName(char* buffer, std::size_t size) const {
    if (buffer == nullptr || size == 0)
        return 0;
    const std::string name = platform::ModuleFileName(module_);
    if (name.empty())
        return 0;
    const std::size_t length = std::min(name.size(), size - 1);
    std::memcpy(buffer, name.data(), length);
    buffer[length] = '\0';
    return length;
}

bool CLibrary::versionString(const char* name, char* buffer, std::size_t max) const {
    if (buffer == nullptr || max == 0)
        return false;
    char file[260];
    if (moduleFileName(file, sizeof file) == 0)
        return false;
    platform::DWORD handle = 0;
    const platform::DWORD size = platform::GetFileVersionInfoSizeA(file, &handle);
    if (size == 0)
        return false;
    std::vector<char> data(size);
    if (!platform::GetFileVersionInfoA(file, handle, size, data.data()))
        return false;
    void* value = nullptr;
    platform::UINT length = 0;
    if (!platform::VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) ||
        length < 4)
        return false;
    platform::WORD translation[2];
    std::memcpy(translation, value, sizeof translation);
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\%s", translation[0],
                  translation[1], name);
    if (!platform::VerQueryValueA(data.data(), query, &value, &length))
        return false;
    // At most max characters with the terminator, as lstrcpyn copies.
    const char* text = static_cast<const char*>(value);
    const std::size_t copied = std::min(std::strlen(text), max - 1);
    std::memcpy(buffer, text, copied);
    buffer[copied] = '\0';
    return true;
}

bool CLibrary::fileVersion(char* buffer, std::size_t max) const {
    return versionString("FileVersion", buffer, max);
}

bool CLibrary::legalCopyright(char* buffer, std::size_t max) const {
    return versionString("LegalCopyright", buffer, max);
}

bool CLibrary::attach(platform::HMODULE handle) {
    if (module_ == nullptr)
        module_ = handle;
    return true;
}

platform::HMODULE CLibrary::detach() {
    platform::HMODULE handle = module_;
    module_ = nullptr;
    return handle;
}
