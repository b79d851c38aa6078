#include "support/settings_sandbox.h"

#include "platform/system_info.h"
#include "support/environment.h"

#include <cstdlib>
#include <filesystem>

namespace testing_support {

SettingsSandbox::SettingsSandbox() : previousDir_(std::filesystem::current_path().string()) {
    platform::SetModuleFileNameOverride(exeDir.file("refirm"));
    std::filesystem::current_path(cwdDir.path());
    setEnvironment("XDG_CONFIG_HOME", configDir.path());
    clearUserProfile();
}

SettingsSandbox::~SettingsSandbox() {
    unsetEnvironment("XDG_CONFIG_HOME");
    clearUserProfile();
    std::filesystem::current_path(previousDir_);
    platform::SetModuleFileNameOverride("");
}

} // namespace testing_support
