#pragma once

#include <string>

// The process environment and the per-user profile, for tests on either
// operating system.
namespace testing_support {

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

// Empties the per-user profile: on Windows the registry trees
// HKEY_CURRENT_USER\Software\Korvatek and ...\Software\<application> (where
// the profile goes while no key is set); on Linux nothing, since each test
// points the profile at a fresh directory.
void clearUserProfile();

} // namespace testing_support
