#pragma once

#include <string>
#include <vector>

// The run mode set on the command line, handed by value to whatever needs it.
struct RunFlags {
    int silent = 0;          // "silent" or "silent_w_err"
    int silentWithError = 0; // "silent_w_err": final messages go to the log, no boxes
    int force = 0;           // "force_update"
    int unionUpdate = 1;     // cleared by "no_union_update"
};

// Compares every argument, the program path at index 0 included, exactly and
// case-sensitively with the four keywords.
RunFlags ParseRunFlags(const std::vector<std::string>& arguments);
