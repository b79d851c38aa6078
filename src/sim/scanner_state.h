#pragma once

#include "sim/data_run.h"

#include <map>
#include <string>
#include <vector>

// What a scanner keeps between runs: the revision it reports, each
// processor's version and each flash's content. See scanner_state.cpp for
// the file format.
namespace sim {

struct ScannerState {
    std::string revision;
    std::map<unsigned, std::string> versions;         // by processor
    std::map<unsigned, std::vector<DataRun>> flashes; // by processor; non-0xFF runs
};

std::string FormatScannerState(const ScannerState& state);
// std::invalid_argument naming the line for anything that is not a state file.
ScannerState ParseScannerState(const std::string& text);

} // namespace sim
