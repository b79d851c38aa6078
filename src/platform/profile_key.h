#pragma once

#include <string>

// The registry key of the per-user profile (SetRegistryKey), for the two
// sides of the profile store.
namespace platform::detail {

std::string RegistryKey();

} // namespace platform::detail
