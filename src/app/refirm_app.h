#pragma once

#include "device/scanner.h"

#include <cstdint>
#include <string>
#include <vector>

// The application object: everything the program does happens in InitInstance,
// which reads the command line, fixes the run mode, sets the registry key,
// switches the log on or off and then runs the upgrade. There is no message
// loop; when InitInstance returns the process ends, and its exit status carries
// no outcome.
class CRefirmApp {
public:
    static constexpr const char* kRegistryKey = "Korvatek\\Refirm";
    static constexpr const char* kLogFileName = "Refirm.log";

    // Sets the language of every message lookup from the user's locale.
    CRefirmApp();

    // `arguments[0]` is the program path. Always returns false.
    bool InitInstance(const std::vector<std::string>& arguments);

    const std::string& profileSection() const { return profileSection_; }
    // The one device object of the process.
    CScanner& scanner() { return scanner_; }

private:
    std::string profileSection_;
    CScanner scanner_;
};

// The one application object of the process.
CRefirmApp& RefirmApp();
