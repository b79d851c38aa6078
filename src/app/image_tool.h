#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

// refirm-image: looks at a firmware image before it goes to a scanner.
//   info IMAGE [--all]                       what the file holds, and what is wrong with it
//   layout IMAGE (--family CODE | --product TEXT) [-o FILE]
//                                            how it lies over the product's main flash map
// Reports go to `out`, messages to `err`; the progress bar goes to standard
// error only, when `err` is standard error and that is a terminal.

// Exit statuses.
inline constexpr int kImageToolGood = 0;
// The image has faults: a bad record, no data, nothing for the flash map.
inline constexpr int kImageToolFaults = 1;
// The command could not be carried out: its arguments, a file that cannot be
// read or written, a family or product without a flash map.
inline constexpr int kImageToolFailed = 2;

// `args` are the arguments after the program's name.
int RunImageTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string ImageToolUsage();

// The product a device identifier names: "STI\KORVA SX-T18 USB" gives "SX-T18",
// "ASPI\KORVA   SX-2500C  " the product field without its trailing blanks.
std::string ProductOfDeviceIdentifier(const std::string& identifier);

// The 28 characters a scanner of the product identifies itself with: vendor
// KORVA padded to 8, the product padded to 16, a blank revision of 4.
std::string IdentificationText(const std::string& product);

// A bar drawn in place on a terminal, for work that takes longer than a moment:
// nothing is drawn before `delay` nominal milliseconds (platform/clock.h) have
// passed since it was made, and nothing at all when it is not shown. The line
// is cleared again when the bar goes.
class ProgressBar {
public:
    static constexpr std::uint64_t kDelay = 500;

    ProgressBar(std::ostream& out, bool shown, std::string label, std::uint64_t delay = kDelay);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(int percent);

private:
    std::ostream& out_;
    bool shown_;
    std::string label_;
    std::uint64_t startedAt_;
    std::uint64_t delay_;
    std::size_t drawnWidth_ = 0;
};
