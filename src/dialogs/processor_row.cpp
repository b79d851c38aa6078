#include "dialogs/processor_row.h"

#include "device/scanner.h"
#include "flash/table_flash_maps.h"

#include <algorithm>

namespace {

constexpr std::array<std::uint8_t, 10> kVendorWrite = {0xFE, 0, 0x80, 0x21, 0, 0, 0, 0, 0x80, 0};
constexpr std::array<std::uint8_t, 10> kVendorRead = {0xFD, 0, 0x80, 0x21, 0, 0, 0, 0, 0x80, 0};

// SEND(10) and READ(10) with the processor's data type code.
constexpr std::array<std::uint8_t, 10> sendTemplate(std::uint8_t opcode, std::uint8_t dataType) {
    return {opcode, 0, dataType, 0, 0, 0, 0, 0, 0x80, 0};
}

const std::vector<std::string> kDriveModels = {"SX-4600C", "SX-3500C", "SX-2600C", "SX-V730",
                                               "SX-V700"};

// The processors the main controller must report, where the version is read,
// the flash, and the frames: write and read templates, then the four
// sub-commands from `start` on (start, finish, address, data).
void reach(ProcessorRow& row, std::vector<ProcessorRow::Check> checks, int versionIndex,
           ProcessorRow::Map map, const std::array<std::uint8_t, 10>& write,
           const std::array<std::uint8_t, 10>& read, std::uint8_t start) {
    row.checks = std::move(checks);
    row.versionIndex = versionIndex;
    row.map = map;
    row.writeTemplate = write;
    row.readTemplate = read;
    row.startCommand = start;
    row.finishCommand = static_cast<std::uint8_t>(start + 1);
    row.addressCommand = static_cast<std::uint8_t>(start + 2);
    row.dataCommand = static_cast<std::uint8_t>(start + 3);
    row.sendsCommands = true;
}

bool anyProduct(const CScanner& scanner, const std::vector<std::string>& models) {
    return std::any_of(models.begin(), models.end(),
                       [&](const std::string& model) { return scanner.productIs(model); });
}

} // namespace

std::unique_ptr<CFlashMap> ProcessorRow::createMap() const {
    switch (map) {
    case Map::M16C64:
        return std::make_unique<CM16C64FlashMap>();
    case Map::R826:
        return std::make_unique<CR826FlashMap>();
    case Map::None:
        break;
    }
    return nullptr;
}

ProcessorRow MainDriveRow() {
    ProcessorRow row;
    row.processorName = "Main Drive Cpu";
    row.namingModels = kDriveModels;
    row.dialog = FirmwareDialog::MainDrive;
    reach(row, {{0, "MAIN CONTROLLER"}, {1, "MAIN DRIVE"}}, 1, ProcessorRow::Map::M16C64,
          kVendorWrite, kVendorRead, 0x01);
    return row;
}

ProcessorRow SubDriveRow(const CScanner& scanner) {
    ProcessorRow row;
    row.processorName = "Sub Drive Cpu";
    row.namingModels = kDriveModels;
    row.namingModels.push_back("SX-470M");
    row.dialog = FirmwareDialog::SubDrive;
    if (anyProduct(scanner, kDriveModels)) {
        reach(row, {{0, "MAIN CONTROLLER"}, {2, "SUB DRIVE"}}, 2, ProcessorRow::Map::M16C64,
              kVendorWrite, kVendorRead, 0x11);
    } else if (scanner.productIs("SX-470M")) {
        reach(row, {{0, "MAIN"}, {1, "SUB DFD"}}, 1, ProcessorRow::Map::R826,
              sendTemplate(0x2A, 0xA3), sendTemplate(0x28, 0xA3), 0x01);
    }
    // Any other model: no check, no map, nothing sent.
    return row;
}

ProcessorRow AuthenticationRow(const CScanner& scanner) {
    ProcessorRow row;
    row.processorName = "Auth Cpu";
    row.namingModels = {"SX-470M"};
    row.dialog = FirmwareDialog::Authentication;
    reach(row, {{0, "MAIN"}, {2, "SUB FAKESENS"}}, 2, ProcessorRow::Map::R826,
          sendTemplate(0x2A, 0xA2), sendTemplate(0x28, 0xA2), 0x01);
    // The version check and the map hold for every model; only the SX-470M
    // is sent the frames.
    row.sendsCommands = scanner.productIs("SX-470M");
    return row;
}
