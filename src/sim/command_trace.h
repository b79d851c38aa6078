#pragma once

#include "sim/virtual_scanner.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <utility>

// The command trace: one line per command block the scanner was sent,
//   <kind> <CDB bytes in hex> <none|in|out> <data length> -> <result>
// where the result is GOOD, CHECK <key>/<asc>/<ascq>, NO DEVICE or HANG.
namespace sim {

std::string TraceLine(const std::string& kind, const std::uint8_t* cdb, std::size_t cdbLength,
                      DataDirection direction, std::size_t length, const CommandOutcome& outcome);

// The trace file of one scanner, kept open while the scanner lives: a line a
// command, handed to the system at once, so that a run killed in the middle
// leaves every line of the commands it sent. A file that cannot be opened
// loses the line and is tried again with the next (the trace never stops the
// scanner). Not thread-safe: the scanner calls it under its own lock.
class CommandTrace {
public:
    explicit CommandTrace(std::string fileName) : fileName_(std::move(fileName)) {}
    bool enabled() const { return !fileName_.empty(); }
    void append(const std::string& line);

private:
    std::string fileName_;
    std::ofstream out_;
};

} // namespace sim
