#pragma once

// Values a scanner has when its profile does not say otherwise.
namespace sim {

inline constexpr const char* kDefaultDownloadCode = "KORVATEK FIRMWARE DOWNLOAD V0001";
inline constexpr const char* kMainControllerName = "MAIN CONTROLLER";

} // namespace sim
