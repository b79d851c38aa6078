#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct RefirmRun {
    int exitCode = -1;
    std::string output; // standard output and standard error together
};

// Runs the built refirm program in `workDir` with exactly the environment
// variables given (plus PATH), so that a developer's own settings never leak in.
RefirmRun runRefirm(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env, const std::string& workDir,
                    const std::string& input = "");

} // namespace testing_support
