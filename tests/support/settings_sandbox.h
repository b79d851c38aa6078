#pragma once

#include "support/scratch_dir.h"

#include <string>

namespace testing_support {

// Puts the program's executable directory and current directory into two
// scratch directories, and its per-user profile into a third, for the life of
// the object. The application name is "refirm".
class SettingsSandbox {
public:
    SettingsSandbox();
    ~SettingsSandbox();
    SettingsSandbox(const SettingsSandbox&) = delete;
    SettingsSandbox& operator=(const SettingsSandbox&) = delete;

    std::string exeIni() const { return exeDir.file("refirm.ini"); }
    std::string cwdIni() const { return cwdDir.file("refirm.ini"); }

    ScratchDir exeDir;
    ScratchDir cwdDir;
    ScratchDir configDir;

private:
    std::string previousDir_;
};

} // namespace testing_support
