#include "platform/version_info.h"

#include "platform/file_names.h"
#include "platform/sync.h"
#include "platform/system_info.h"

#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>

#ifndef REFIRM_VERSION_TEXT
#define REFIRM_VERSION_TEXT "0.0.0"
#endif

namespace platform {

namespace {

constexpr WORD kLanguage = 0x0409;
constexpr WORD kCodePage = 0x04B0;

struct VersionString {
    const char* name;
    const char* value;
};

const VersionString kStrings[] = {
    {"CompanyName", "Korvatek"},
    {"FileDescription", "Scanner firmware upgrade"},
    {"FileVersion", REFIRM_VERSION_TEXT},
    {"InternalName", "refirm"},
    {"LegalCopyright", "Copyright (C) 2026 Korvatek"},
    {"ProductName", "Refirm"},
    {"ProductVersion", REFIRM_VERSION_TEXT},
};

// The block: a marker, the translation, then "name\0value\0" pairs.
constexpr char kMarker[8] = {'V', 'S', '_', 'I', 'N', 'F', 'O', '\0'};

std::string block() {
    std::string data(kMarker, sizeof kMarker);
    const WORD translation[2] = {kLanguage, kCodePage};
    data.append(reinterpret_cast<const char*>(translation), sizeof translation);
    for (const auto& entry : kStrings) {
        data.append(entry.name).push_back('\0');
        data.append(entry.value).push_back('\0');
    }
    return data;
}

bool carriesVersion(const char* fileName) {
    if (fileName == nullptr)
        return false;
    const std::string executable = GetModuleFileNameA();
    const std::string name(fileName);
    if (name == executable)
        return true;
    // The layer's libraries live beside the executable.
    const auto slash = executable.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "" : executable.substr(0, slash + 1);
    for (const char* library : {"sti.dll", "wnaspi32.dll", "user32.dll", "kernel32.dll"})
        if (EqualsNoCase(name, directory + library))
            return true;
    return false;
}

} // namespace

DWORD GetFileVersionInfoSizeA(const char* fileName, DWORD* handle) {
    if (handle != nullptr)
        *handle = 0;
    if (!carriesVersion(fileName)) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return 0;
    }
    return static_cast<DWORD>(block().size());
}

BOOL GetFileVersionInfoA(const char* fileName, DWORD, DWORD size, void* data) {
    const std::string content = block();
    if (!carriesVersion(fileName) || data == nullptr || size < content.size()) {
        SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
        return FALSE;
    }
    std::memcpy(data, content.data(), content.size());
    return TRUE;
}

BOOL VerQueryValueA(const void* data, const char* subBlock, void** value, UINT* length) {
    if (data == nullptr || subBlock == nullptr || value == nullptr ||
        std::memcmp(data, kMarker, sizeof kMarker) != 0)
        return FALSE;
    auto* bytes = static_cast<char*>(const_cast<void*>(data));
    const std::string query(subBlock);
    if (EqualsNoCase(query, "\\VarFileInfo\\Translation")) {
        *value = bytes + sizeof kMarker;
        if (length != nullptr)
            *length = 4;
        return TRUE;
    }
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "\\StringFileInfo\\%04x%04x\\", kLanguage, kCodePage);
    if (query.size() <= std::strlen(prefix) ||
        !EqualsNoCase(query.substr(0, std::strlen(prefix)), prefix))
        return FALSE;
    const std::string name = query.substr(std::strlen(prefix));
    char* entry = bytes + sizeof kMarker + 4;
    for (std::size_t i = 0; i < std::size(kStrings); ++i) {
        char* entryValue = entry + std::strlen(entry) + 1;
        if (EqualsNoCase(name, entry)) {
            *value = entryValue;
            if (length != nullptr)
                *length = static_cast<UINT>(std::strlen(entryValue) + 1);
            return TRUE;
        }
        entry = entryValue + std::strlen(entryValue) + 1;
    }
    return FALSE;
}

} // namespace platform
