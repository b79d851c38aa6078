#include "app/refirm_app.h"
#include "app/usage.h"
#include "platform/aspi.h"
#include "platform/console_front_end.h"
#include "platform/front_end.h"
#include "platform/graphical_front_end.h"
#include "platform/native_front_end.h"
#include "platform/scripted_front_end.h"
#include "platform/system_info.h"
#include "sim/simulation.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// The person in front of the program: at the system's dialogs on Windows; on
// Linux at windows on the display when there is one, else at the terminal
// (REFIRM_UI=gui or console chooses); or, with REFIRM_SCRIPT, the answers of
// a script (REFIRM_RECORD then names the file that records everything shown).
std::shared_ptr<platform::FrontEnd> personFrontEnd() {
    const std::string ui = platform::GetEnvironmentVariableA("REFIRM_UI");
    if (ui == "console" || platform::GetEnvironmentVariableA("REFIRM_CONSOLE") == "1")
        return std::make_shared<platform::ConsoleFrontEnd>();
    if (!ui.empty() && ui != "gui")
        throw std::runtime_error("REFIRM_UI must be gui or console, not \"" + ui + "\"");
    if (auto native = platform::CreateNativeFrontEnd())
        return native;
    if (ui == "gui" || (platform::GraphicalFrontEndBuilt() && platform::DisplayNamed())) {
        std::string why;
        if (auto graphical = platform::CreateGraphicalFrontEnd(why))
            return graphical;
        std::cerr << "refirm: the dialogs are shown at the terminal: " << why << '\n';
    }
    return std::make_shared<platform::ConsoleFrontEnd>();
}

std::shared_ptr<platform::ScriptedFrontEnd> installFrontEnd() {
    const std::string script = platform::GetEnvironmentVariableA("REFIRM_SCRIPT");
    if (script.empty()) {
        platform::SetFrontEnd(personFrontEnd());
        return nullptr;
    }
    std::ifstream file(script, std::ios::binary);
    if (!file)
        throw std::runtime_error("cannot read the answer script " + script);
    std::stringstream text;
    text << file.rdbuf();
    auto scripted = platform::ScriptedFrontEnd::FromScript(text.str());
    platform::SetFrontEnd(scripted);
    return scripted;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    if (arguments.size() == 2 && arguments[1] == "--help") {
        std::cout << UsageText("refirm");
        return 0;
    }
    // A rehearsal: the virtual scanners named by REFIRM_SIMULATE stand on the
    // buses in place of real ones, and keep their state when the run ends.
    std::unique_ptr<sim::Simulation> simulation;
    std::shared_ptr<platform::ScriptedFrontEnd> scripted;
    try {
        simulation = sim::Simulation::FromEnvironment();
        if (!simulation)
            platform::InstallSystemAspi();
        scripted = installFrontEnd();
    } catch (const std::exception& error) {
        std::cerr << "refirm: " << error.what() << '\n';
        return 2;
    }
    RefirmApp().InitInstance(arguments);
    if (scripted) {
        const std::string record = platform::GetEnvironmentVariableA("REFIRM_RECORD");
        if (!record.empty())
            scripted->writeRecord(record);
    }
    platform::SetFrontEnd(nullptr);
    return 0;
}
