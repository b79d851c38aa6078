#pragma once

#include "sim/data_run.h"

#include <string>
#include <vector>

// Motorola S-records as the scanner writes its flash dumps and reads initial
// flash content: S0 header, S3 data records (32-bit addresses), S7 end.
namespace sim {

// S0 with the header text, S3 records of at most 32 data bytes for every
// run (a longer run is split), S7 with start address 0. Lines end in "\n".
std::string WriteSRecords(const std::string& header, const std::vector<DataRun>& runs);

// The data of S1, S2 and S3 records, in file order; S0, S5 to S9 and blank
// lines are skipped. std::invalid_argument naming the line for anything
// malformed (bad type, odd or non-hex digits, wrong count, bad checksum).
std::vector<DataRun> ReadSRecords(const std::string& text);

} // namespace sim
