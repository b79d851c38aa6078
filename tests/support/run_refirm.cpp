#include "support/run_refirm.h"

#include "support/scratch_dir.h"

#include <cstdlib>
#include <sys/wait.h>

namespace testing_support {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace

RefirmRun runRefirm(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env, const std::string& workDir,
                    const std::string& input) {
    ScratchDir io;
    writeFile(io.file("stdin"), input);
    std::string command = "cd " + quoted(workDir) + " && env -i PATH=/usr/bin:/bin";
    for (const auto& [name, value] : env)
        command += " " + quoted(name + "=" + value);
    command += " " + quoted(REFIRM_BINARY);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " <" + quoted(io.file("stdin")) + " >" + quoted(io.file("out")) + " 2>&1";
    RefirmRun run;
    int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = readFile(io.file("out"));
    return run;
}

} // namespace testing_support
