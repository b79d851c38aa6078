#include "app/image_tool.h"

#include <exception>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    try {
        return RunImageTool(arguments, std::cout, std::cerr);
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "refirm-image: " << error.what() << '\n';
        return kImageToolFailed;
    }
}
