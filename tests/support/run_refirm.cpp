#include "support/run_refirm.h"

#include "support/scratch_dir.h"

#include <cstdlib>
#include <sys/wait.h>

namespace testing_support {

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

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

RefirmRun runRefirm(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env, const std::string& workDir,
                    const std::string& input, int watchdogSeconds) {
    ScratchDir io;
    writeFile(io.file("stdin"), input);
    std::string command = "cd " + quoted(workDir) + " && env -i PATH=/usr/bin:/bin";
    for (const auto& [name, value] : env)
        command += " " + quoted(name + "=" + value);
    // The watchdog stops a hung run (TERM, then KILL five seconds later) and
    // reports it with status 124; any other end is the program's own.
    command +=
        " timeout --kill-after=5 " + std::to_string(watchdogSeconds) + " " + quoted(REFIRM_BINARY);
    for (const std::string& arg : args)
        command += " " + quoted(arg);
    command += " <" + quoted(io.file("stdin")) + " >" + quoted(io.file("out")) + " 2>&1";
    RefirmRun run;
    const int status = std::system(command.c_str());
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (code == 124) {
        run.timedOut = true;
    } else if (code > 128) {
        run.signal = code - 128; // the shell's report of a program ended by a signal
    } else {
        run.exitCode = code;
    }
    run.output = readFile(io.file("out"));
    return run;
}

} // namespace testing_support
