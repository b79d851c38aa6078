#include "sim/simulation.h"

#include "platform/bus_trace.h"
#include "platform/device_notification.h"
#include "platform/still_image.h"
#include "platform/system_info.h"
#include "sim/aspi_bus.h"
#include "sim/sti_service.h"

#include <sstream>

namespace sim {

std::unique_ptr<Simulation> Simulation::FromEnvironment() {
    const std::string list = platform::GetEnvironmentVariableA("REFIRM_SIMULATE");
    if (list.empty())
        return nullptr;
    std::vector<std::string> paths;
    std::stringstream stream(list);
    for (std::string path; std::getline(stream, path, platform::PathListSeparator());)
        if (!path.empty())
            paths.push_back(path);
    if (paths.empty())
        return nullptr;
    auto simulation = std::make_unique<Simulation>(paths);
    const std::string busTrace = platform::GetEnvironmentVariableA("REFIRM_BUS_TRACE");
    if (!busTrace.empty())
        platform::SetBusTraceFile(busTrace);
    simulation->install();
    return simulation;
}

Simulation::Simulation(const std::vector<std::string>& profilePaths) {
    for (const std::string& path : profilePaths) {
        auto scanner = std::make_shared<VirtualScanner>(LoadScannerProfile(path));
        if (scanner->profile().transport == Transport::Sti) {
            // A USB or SCSI scanner with a still-image driver announces itself
            // to the image device class when it comes back.
            scanner->setArrivalHook([](std::uint64_t tick) {
                platform::ScheduleDeviceArrival(tick, platform::GUID_DEVINTERFACE_IMAGE);
            });
            stiScanners_.push_back(scanner);
        }
        scanners_.push_back(std::move(scanner));
    }
    std::vector<std::shared_ptr<VirtualScanner>> aspiScanners;
    for (const auto& scanner : scanners_)
        if (scanner->profile().transport == Transport::Aspi)
            aspiScanners.push_back(scanner);
    aspiBus_ = std::make_shared<AspiBus>(std::move(aspiScanners));
}

Simulation::~Simulation() {
    uninstall();
    persist();
}

void Simulation::install() {
    if (installed_)
        return;
    auto scanners = stiScanners_;
    platform::InstallStillImageProvider([scanners] { return CreateStillImageService(scanners); });
    platform::InstallAspiBackend(aspiBus_);
    installed_ = true;
}

void Simulation::uninstall() {
    if (!installed_)
        return;
    platform::InstallStillImageProvider(nullptr);
    platform::RemoveAspiBackend(aspiBus_);
    installed_ = false;
}

void Simulation::persist() const {
    for (const auto& scanner : scanners_)
        scanner->persist();
}

} // namespace sim
