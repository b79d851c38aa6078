#include "sim/command_kind.h"

#include "sim/virtual_scanner.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

const std::array<const char*, 23> kKinds = {
    "tur",        "requestsense",  "inquiry",      "vendorpage",    "diagnostic",   "select",
    "updatemode", "prepare",       "restart",      "erase",         "eraseblock",   "memwrite",
    "memread",    "checksumrange", "checksumread", "processorinfo", "downloadcode", "start",
    "finish",     "address",       "datawrite",    "dataread",      "unknown"};

std::string frameKind(std::uint8_t subCommand, std::uint8_t base, bool toDevice) {
    switch (static_cast<std::uint8_t>(subCommand - base)) {
    case 0:
        return "start";
    case 1:
        return "finish";
    case 2:
        return "address";
    case 3:
        return toDevice ? "datawrite" : "dataread";
    default:
        return "unknown";
    }
}

} // namespace

bool IsCommandKind(const std::string& name) {
    return std::any_of(kKinds.begin(), kKinds.end(), [&](const char* k) { return name == k; });
}

std::string CommandKindOf(const std::uint8_t* cdb, std::size_t cdbLength,
                          std::uint8_t subCommandBase) {
    if (cdb == nullptr || cdbLength == 0)
        return "unknown";
    auto at = [&](std::size_t i) -> int { return i < cdbLength ? cdb[i] : -1; };
    switch (cdb[0]) {
    case 0x00:
        return "tur";
    case 0x03:
        return "requestsense";
    case 0x12:
        return at(1) == 0x01 && at(2) == 0xF0 ? "vendorpage" : "inquiry";
    case 0x1C:
        return "diagnostic";
    case 0xD9:
        return "select";
    case 0xFF:
        switch (at(2)) {
        case 0x65:
            return "updatemode";
        case 0xC7:
            return "restart";
        case 0xC3:
            return "erase";
        case 0xB2:
            return "checksumrange";
        case 0xB3:
            return "checksumread";
        case 0xCF:
            return "processorinfo";
        default:
            return "unknown";
        }
    case 0xFE:
    case 0xFD:
        if (cdb[0] == 0xFE && at(2) == 0x65)
            return "prepare";
        if (at(2) == 0x80 && at(3) == 0x21 && at(4) >= 0)
            return frameKind(cdb[4], subCommandBase, cdb[0] == 0xFE);
        return "unknown";
    case 0x2A:
        if (at(2) == 0x84)
            return "downloadcode";
        return at(4) >= 0 ? frameKind(cdb[4], subCommandBase, true) : "unknown";
    case 0x28:
        return "dataread";
    case 0x2C:
        return "eraseblock";
    case 0x2D:
        return "memwrite";
    case 0x2E:
        return "memread";
    default:
        return "unknown";
    }
}

// Named with the sub-command layout processors have unless their profile
// moves it (SubCommandBase 0x01); the scanner itself names frames with the
// base of the processor that claims them.
std::string CommandKindName(const std::uint8_t* cdb, std::size_t cdbLength) {
    return CommandKindOf(cdb, cdbLength, 0x01);
}

} // namespace sim
