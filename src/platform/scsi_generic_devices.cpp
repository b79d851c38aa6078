#include "platform/scsi_generic.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

namespace platform {

namespace fs = std::filesystem;

namespace {

std::string readAttribute(const fs::path& path) {
    std::ifstream file(path);
    std::string text;
    std::getline(file, text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r' ||
                             text.back() == '\t'))
        text.pop_back();
    return text;
}

// "sg12" -> 12; -1 for any other name.
int deviceNumber(const std::string& name) {
    if (name.size() < 3 || name.size() > 8 || name.compare(0, 2, "sg") != 0)
        return -1;
    int number = 0;
    for (std::size_t i = 2; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9')
            return -1;
        number = number * 10 + (name[i] - '0');
    }
    return number;
}

// The device link of /sys/class/scsi_generic/sgN leads to the SCSI device's
// folder, named host:channel:target:lun.
bool readAddress(const fs::path& device, ScsiGenericDevice& into) {
    std::error_code error;
    const fs::path target = fs::canonical(device, error);
    if (error)
        return false;
    const std::string name = target.filename().string();
    char rest = 0;
    return std::sscanf(name.c_str(), "%d:%d:%d:%d%c", &into.host, &into.channel, &into.target,
                       &into.lun, &rest) == 4 &&
           into.host >= 0 && into.channel >= 0 && into.target >= 0 && into.lun >= 0;
}

} // namespace

std::string ScsiGenericDevice::describe() const {
    char address[64];
    std::snprintf(address, sizeof address, "%d:%d:%d:%d", host, channel, target, lun);
    std::string text = path() + " (" + address;
    const std::string identity = vendor.empty()  ? model
                                 : model.empty() ? vendor
                                                 : vendor + " " + model;
    if (!identity.empty())
        text += ", " + identity;
    return text + ")";
}

std::vector<ScsiGenericDevice> ReadScsiGenericDevices(const std::string& sysfsRoot) {
    std::map<int, ScsiGenericDevice> found;
    std::error_code error;
    const fs::path folder = fs::path(sysfsRoot) / "class" / "scsi_generic";
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const int number = deviceNumber(name);
        if (number < 0)
            continue;
        ScsiGenericDevice device;
        device.name = name;
        const fs::path link = it->path() / "device";
        if (!readAddress(link, device))
            continue;
        const std::string type = readAttribute(link / "type");
        device.type = type.empty() ? -1 : std::atoi(type.c_str());
        device.vendor = readAttribute(link / "vendor");
        device.model = readAttribute(link / "model");
        found.emplace(number, std::move(device));
    }
    std::vector<ScsiGenericDevice> devices;
    for (auto& entry : found)
        devices.push_back(std::move(entry.second));
    return devices;
}

std::vector<AspiPosition> MapToAspi(const std::vector<ScsiGenericDevice>& devices,
                                    std::vector<int>& hosts) {
    std::set<int> fresh;
    for (const auto& device : devices)
        if (std::find(hosts.begin(), hosts.end(), device.host) == hosts.end())
            fresh.insert(device.host);
    hosts.insert(hosts.end(), fresh.begin(), fresh.end());

    // The transport's scan addresses adapter and target ids 0..6, logical unit 0.
    constexpr int kScanned = 7;
    std::vector<AspiPosition> positions;
    for (const auto& device : devices) {
        const int adapter =
            static_cast<int>(std::find(hosts.begin(), hosts.end(), device.host) - hosts.begin());
        AspiPosition position;
        if (device.channel == 0 && device.lun == 0 && adapter < kScanned &&
            device.target < kScanned) {
            position.adapter = adapter;
            position.target = device.target;
        }
        positions.push_back(position);
    }
    return positions;
}

std::uint32_t ScsiGenericTimeout(const std::uint8_t* cdb, std::size_t length) {
    if (cdb == nullptr || length == 0)
        return kScsiGenericTimeout;
    if (cdb[0] == 0x2C) // erase block
        return kScsiGenericEraseTimeout;
    if ((cdb[0] == 0xFF || cdb[0] == 0xFE) && length > 2) {
        switch (cdb[2]) {
        case 0xC3: // erase the firmware area
            return kScsiGenericEraseTimeout;
        case 0x65: // update mode, prepare update mode
        case 0xC7: // restart
        case 0xB2: // checksum of a range
        case 0xB3:
            return kScsiGenericModeTimeout;
        default:
            break;
        }
    }
    return kScsiGenericTimeout;
}

} // namespace platform
