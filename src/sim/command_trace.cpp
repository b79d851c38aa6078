#include "sim/command_trace.h"

#include "platform/file_names.h"

#include <cstdio>
#include <fstream>

namespace sim {

namespace {

std::string hex2(std::uint8_t value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(value));
    return text;
}

const char* directionName(DataDirection direction) {
    switch (direction) {
    case DataDirection::In:
        return "in";
    case DataDirection::Out:
        return "out";
    default:
        return "none";
    }
}

} // namespace

std::string TraceLine(const std::string& kind, const std::uint8_t* cdb, std::size_t cdbLength,
                      DataDirection direction, std::size_t length, const CommandOutcome& outcome) {
    std::string line = kind;
    for (std::size_t i = 0; i < cdbLength; ++i)
        line += " " + hex2(cdb[i]);
    line += std::string(" ") + directionName(direction) + " " + std::to_string(length) + " -> ";
    if (!outcome.answered)
        line += "NO DEVICE";
    else if (outcome.hangs)
        line += "HANG";
    else if (outcome.good)
        line += "GOOD";
    else
        line += "CHECK " + hex2(outcome.sense[2]) + "/" + hex2(outcome.sense[12]) + "/" +
                hex2(outcome.sense[13]);
    return line;
}

void CommandTrace::append(const std::string& line) {
    if (!enabled())
        return;
    if (!out_.is_open()) {
        out_.clear();
        out_.open(platform::ResolveFileName(fileName_), std::ios::app | std::ios::binary);
        if (!out_.is_open())
            return;
    }
    out_ << line << '\n';
    out_.flush();
    if (!out_)
        out_.close(); // opened again for the next line
}

} // namespace sim
