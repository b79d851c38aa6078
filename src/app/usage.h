#pragma once

#include <string>

// The command line summary that "--help" prints.
std::string UsageText(const std::string& programName);
