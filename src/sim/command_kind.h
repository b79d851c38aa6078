#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Command kinds: how fault rules and the command trace name a command block.
namespace sim {

// True for every kind a command can have ("tur", "memwrite", ..., "unknown").
bool IsCommandKind(const std::string& name);

// The kind of a command block. Processor frames (FE/FD 00 80 21, and SEND(10)
// with a data type other than the download code's) are named by their
// sub-command relative to `subCommandBase`: start, finish, address, data.
std::string CommandKindOf(const std::uint8_t* cdb, std::size_t cdbLength,
                          std::uint8_t subCommandBase);

} // namespace sim
