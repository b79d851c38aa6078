#include "app/run_flags.h"

RunFlags ParseRunFlags(const std::vector<std::string>& arguments) {
    RunFlags flags;
    for (const std::string& argument : arguments) {
        if (argument == "silent") {
            flags.silent = 1;
        } else if (argument == "silent_w_err") {
            flags.silent = 1;
            flags.silentWithError = 1;
        } else if (argument == "force_update") {
            flags.force = 1;
        } else if (argument == "no_union_update") {
            flags.unionUpdate = 0;
        }
    }
    return flags;
}
