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

void setCommands(ProcessorRow& row, std::uint8_t start) {
    row.startCommand = start;
    row.finishCommand = static_cast<std::uint8_t>(start + 1);
    row.addressCommand = static_cast<std::uint8_t>(start + 2);
    row.dataCommand = static_cast<std::uint8_t>(start + 3);
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
    row.checks = {{0, "MAIN CONTROLLER"}, {1, "MAIN DRIVE"}};
    row.versionIndex = 1;
    row.map = ProcessorRow::Map::M16C64;
    row.writeTemplate = kVendorWrite;
    row.readTemplate = kVendorRead;
    setCommands(row, 0x01);
    row.sendsCommands = true;
    return row;
}

ProcessorRow SubDriveRow(const CScanner& scanner) {
    ProcessorRow row;
    row.processorName = "Sub Drive Cpu";
    row.namingModels = kDriveModels;
    row.namingModels.push_back("SX-470M");
    row.dialog = FirmwareDialog::SubDrive;
    if (anyProduct(scanner, kDriveModels)) {
        row.checks = {{0, "MAIN CONTROLLER"}, {2, "SUB DRIVE"}};
        row.versionIndex = 2;
        row.map = ProcessorRow::Map::M16C64;
        row.writeTemplate = kVendorWrite;
        row.readTemplate = kVendorRead;
        setCommands(row, 0x11);
        row.sendsCommands = true;
    } else if (scanner.productIs("SX-470M")) {
        row.checks = {{0, "MAIN"}, {1, "SUB DFD"}};
        row.versionIndex = 1;
        row.map = ProcessorRow::Map::R826;
        row.writeTemplate = sendTemplate(0x2A, 0xA3);
        row.readTemplate = sendTemplate(0x28, 0xA3);
        setCommands(row, 0x01);
        row.sendsCommands = true;
    }
    // Any other model: no check, no map, nothing sent.
    return row;
}

ProcessorRow AuthenticationRow(const CScanner& scanner) {
    ProcessorRow row;
    row.processorName = "Auth Cpu";
    row.namingModels = {"SX-470M"};
    row.dialog = FirmwareDialog::Authentication;
    row.checks = {{0, "MAIN"}, {2, "SUB FAKESENS"}};
    row.versionIndex = 2;
    row.map = ProcessorRow::Map::R826;
    row.writeTemplate = sendTemplate(0x2A, 0xA2);
    row.readTemplate = sendTemplate(0x28, 0xA2);
    setCommands(row, 0x01);
    row.sendsCommands = scanner.productIs("SX-470M");
    return row;
}
