#include "app/refirm_app.h"
#include "app/usage.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv, argv + argc);
    if (arguments.size() == 2 && arguments[1] == "--help") {
        std::cout << UsageText("refirm");
        return 0;
    }
    RefirmApp().InitInstance(arguments);
    return 0;
}
