#include "platform/module_loader.h"

#include "platform/aspi.h"
#include "platform/device_notification.h"
#include "platform/still_image.h"
#include "platform/sync.h"
#include "platform/system_info.h"
#include "platform/system_still_image.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <mutex>
#include <string>

namespace platform {

namespace {

struct Export {
    const char* name;
    FARPROC proc;
};

template <typename F> FARPROC proc(F* function) {
    return reinterpret_cast<FARPROC>(function);
}

struct Module {
    const char* fileName; // lower case, with extension
    // Whether the module loads now; one of the system's own is loaded by it,
    // and `unload` gives it back (null for the providers of this layer).
    bool (*available)();
    void (*unload)();
    std::array<Export, 5> exports;
    int loads = 0;
};

bool always() {
    return true;
}

// A name is looked up in order: the first row that is available loads.
std::array<Module, 5>& modules() {
    static std::array<Module, 5> table{{
        {"sti.dll",
         StillImageProviderInstalled,
         nullptr,
         {{{"StiCreateInstanceW", proc(StiCreateInstanceW)}}}},
        // Without a provider, the system's own service where there is one.
        {"sti.dll",
         native::LoadSystemStillImage,
         native::FreeSystemStillImage,
         {{{"StiCreateInstanceW", proc(native::SystemStiCreateInstanceW)}}}},
        {"wnaspi32.dll",
         AspiBackendInstalled,
         nullptr,
         {{{"SendASPI32Command", proc(SendASPI32Command)},
           {"GetASPI32SupportInfo", proc(GetASPI32SupportInfo)},
           {"GetASPI32Buffer", proc(GetASPI32Buffer)},
           {"FreeASPI32Buffer", proc(FreeASPI32Buffer)},
           {"TranslateASPI32Address", proc(TranslateASPI32Address)}}}},
        {"user32.dll",
         always,
         nullptr,
         {{{"RegisterDeviceNotificationA", proc(RegisterDeviceNotificationA)},
           {"UnregisterDeviceNotification", proc(UnregisterDeviceNotification)}}}},
        {"kernel32.dll",
         always,
         nullptr,
         {{{"IsWow64Process", proc(IsWow64Process)}, {"GetVersionExA", proc(GetVersionExA)}}}},
    }};
    return table;
}

std::mutex& moduleLock() {
    static std::mutex lock;
    return lock;
}

std::string canonicalName(const char* fileName) {
    std::string name(fileName);
    const auto slash = name.find_last_of("/\\");
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (name.find('.') == std::string::npos)
        name += ".dll";
    return name;
}

HMODULE handleOf(std::size_t index) {
    return reinterpret_cast<HMODULE>((index + 1) * 0x10000);
}

Module* moduleOf(HMODULE handle) {
    const auto value = reinterpret_cast<std::uintptr_t>(handle);
    if (value == 0 || value % 0x10000 != 0 || value / 0x10000 > modules().size())
        return nullptr;
    return &modules()[value / 0x10000 - 1];
}

} // namespace

HMODULE LoadLibraryA(const char* fileName) {
    if (fileName == nullptr)
        return nullptr;
    const std::string name = canonicalName(fileName);
    std::lock_guard<std::mutex> guard(moduleLock());
    auto& table = modules();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (name != table[i].fileName)
            continue;
        if (!table[i].available())
            continue;
        ++table[i].loads;
        return handleOf(i);
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

BOOL FreeLibrary(HMODULE handle) {
    std::lock_guard<std::mutex> guard(moduleLock());
    Module* module = moduleOf(handle);
    if (module == nullptr || module->loads == 0)
        return FALSE;
    --module->loads;
    if (module->unload != nullptr)
        module->unload();
    return TRUE;
}

FARPROC GetProcAddress(HMODULE handle, const char* name) {
    if (name == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> guard(moduleLock());
    Module* module = moduleOf(handle);
    if (module == nullptr || module->loads == 0)
        return nullptr;
    for (const Export& entry : module->exports)
        if (entry.name != nullptr && std::strcmp(entry.name, name) == 0)
            return entry.proc;
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

std::string ModuleFileName(HMODULE handle) {
    const std::string executable = GetModuleFileNameA();
    if (handle == nullptr)
        return executable;
    std::lock_guard<std::mutex> guard(moduleLock());
    Module* module = moduleOf(handle);
    if (module == nullptr || module->loads == 0)
        return {};
    const auto slash = executable.find_last_of('/');
    return (slash == std::string::npos ? std::string() : executable.substr(0, slash + 1)) +
           module->fileName;
}

} // namespace platform
