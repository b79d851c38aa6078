#pragma once

#include "app/run_flags.h"

#include <string>
#include <vector>

class CScanner;

// The second half of start-up: the family named in argument 2, the device
// search for it, the upgrade path the family takes, and the clean-up.
void RunUpgradeDispatch(CScanner& scanner, const std::vector<std::string>& arguments,
                        const RunFlags& flags);

// The file the scanner's profile flags are written to after a completed
// upgrade when "BackupProfile" is on: "ScannerProfile.ini" beside the per-user
// settings.
std::string ScannerProfileFileName();
