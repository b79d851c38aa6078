#pragma once

#include "sim/virtual_scanner.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The command trace: one line per command block the scanner was sent,
//   <kind> <CDB bytes in hex> <none|in|out> <data length> -> <result>
// where the result is GOOD, CHECK <key>/<asc>/<ascq>, NO DEVICE or HANG.
namespace sim {

std::string TraceLine(const std::string& kind, const std::uint8_t* cdb, std::size_t cdbLength,
                      DataDirection direction, std::size_t length, const CommandOutcome& outcome);

// Appends the line and a line end to the file; a file that cannot be opened
// loses the line (the trace never stops the scanner).
void AppendTraceLine(const std::string& fileName, const std::string& line);

} // namespace sim
