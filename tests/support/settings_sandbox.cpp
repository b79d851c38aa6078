#include "support/settings_sandbox.h"

#include "platform/system_info.h"

#include <cstdlib>
#include <filesystem>

namespace testing_support {

SettingsSandbox::SettingsSandbox() : previousDir_(std::filesystem::current_path().string()) {
    platform::SetModuleFileNameOverride(exeDir.file("refirm"));
    std::filesystem::current_path(cwdDir.path());
    ::setenv("XDG_CONFIG_HOME", configDir.path().c_str(), 1);
}

SettingsSandbox::~SettingsSandbox() {
    ::unsetenv("XDG_CONFIG_HOME");
    std::filesystem::current_path(previousDir_);
    platform::SetModuleFileNameOverride("");
}

} // namespace testing_support
