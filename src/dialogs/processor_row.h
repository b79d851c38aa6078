#pragma once

#include "app/family_registry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CFlashMap;
class CScanner;

// How one processor behind the main controller is reached: the processors the
// main controller has to report for it, where its version is read, its flash
// layout, and the frames its flash is written and read with.
struct ProcessorRow {
    enum class Map { None, M16C64, R826 };

    struct Check {
        int index = 0;
        std::string name; // compared exactly
    };

    // The processor as the dialog's texts name it.
    std::string processorName;
    // The models on which, in an automatic run, the texts name the processor.
    std::vector<std::string> namingModels;
    FirmwareDialog dialog = FirmwareDialog::MainDrive;

    // Empty: the version check is not asked (an upgrade is always needed).
    std::vector<Check> checks;
    int versionIndex = 0;
    Map map = Map::None;
    std::array<std::uint8_t, 10> writeTemplate{};
    std::array<std::uint8_t, 10> readTemplate{};
    std::uint8_t startCommand = 0;
    std::uint8_t finishCommand = 0;
    std::uint8_t addressCommand = 0;
    std::uint8_t dataCommand = 0;
    // false: commands are not sent; start and finish succeed, writes do nothing
    // and every block compares equal.
    bool sendsCommands = false;

    // The row's flash map; null for Map::None.
    std::unique_ptr<CFlashMap> createMap() const;
};

// The rows, chosen by the model the scanner reports.
ProcessorRow MainDriveRow();
ProcessorRow SubDriveRow(const CScanner& scanner);
ProcessorRow AuthenticationRow(const CScanner& scanner);
