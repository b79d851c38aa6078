#pragma once

#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/scripted_front_end.h"
#include "settings/loc_text.h"
#include "settings/log_writer.h"
#include "support/scratch_dir.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

// What the wait dialog tests share: a recording front end and a scratch log
// for one test, and the shipped translations.
namespace wait_test {

struct Surroundings {
    Surroundings() {
        platform::ResetDeviceNotifications();
        platform::SetFrontEnd(frontEnd);
        StartLog(scratch.file("Refirm.log"));
    }
    ~Surroundings() {
        StartLog("");
        platform::SetFrontEnd(nullptr);
        platform::ResetDeviceNotifications();
    }
    std::string log() const {
        const std::string path = scratch.file("Refirm.log");
        return testing_support::fileExists(path) ? testing_support::readFile(path) : "";
    }

    testing_support::ScratchDir scratch;
    std::shared_ptr<platform::ScriptedFrontEnd> frontEnd =
        std::make_shared<platform::ScriptedFrontEnd>();
};

// The result of a modal run and the ticks it took on the clock.
template <typename Dialog> std::pair<int, std::uint64_t> RunModal(Dialog& dialog) {
    const std::uint64_t start = platform::GetTickCount64();
    const int result = static_cast<int>(dialog.DoModal());
    return {result, platform::GetTickCount64() - start};
}

inline const std::string kFailureText =
    "Firmware upgrade failed.\nPlease restart the scanner and try again.";

inline void ExpectJapaneseForEachLine(const std::string& text) {
    static CLocText shipped({std::string(REFIRM_SOURCE_DIR) + "/examples/refirm.LOC"});
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        EXPECT_NE(shipped.translate(line, 1041), line) << "no Japanese for: " << line;
}

} // namespace wait_test
