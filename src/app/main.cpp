#include "app/refirm_app.h"
#include "app/usage.h"
#include "sim/simulation.h"

#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    if (arguments.size() == 2 && arguments[1] == "--help") {
        std::cout << UsageText("refirm");
        return 0;
    }
    // A rehearsal: the virtual scanners named by REFIRM_SIMULATE stand on the
    // buses in place of real ones, and keep their state when the run ends.
    std::unique_ptr<sim::Simulation> simulation;
    try {
        simulation = sim::Simulation::FromEnvironment();
    } catch (const std::exception& error) {
        std::cerr << "refirm: cannot set up the virtual scanners: " << error.what() << '\n';
        return 2;
    }
    RefirmApp().InitInstance(arguments);
    return 0;
}
