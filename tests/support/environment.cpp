#include "support/environment.h"

#include "platform/system_info.h"

#include <cstdlib>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

namespace testing_support {

#ifdef _WIN32

void setEnvironment(const std::string& name, const std::string& value) {
    ::_putenv_s(name.c_str(), value.c_str());
}

void unsetEnvironment(const std::string& name) {
    ::_putenv_s(name.c_str(), "");
}

void clearUserProfile() {
    // The program's key, and the application's own key for tests that set none.
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Korvatek");
    ::RegDeleteTreeA(HKEY_CURRENT_USER, ("Software\\" + platform::ApplicationName()).c_str());
}

#else

void setEnvironment(const std::string& name, const std::string& value) {
    ::setenv(name.c_str(), value.c_str(), 1);
}

void unsetEnvironment(const std::string& name) {
    ::unsetenv(name.c_str());
}

void clearUserProfile() {}

#endif

} // namespace testing_support
