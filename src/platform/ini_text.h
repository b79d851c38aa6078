#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// INI files read and written by this program itself, with the semantics the
// private-profile functions of ini_file.h document. On Linux those functions
// are these; on Windows they are the system's, and these serve the files whose
// reading must not differ between the two (the virtual scanner's profiles and
// state): sections of the same name are one section here.
namespace platform::ini_text {

std::string GetString(const std::string& section, const std::string& key,
                      const std::string& defaultValue, std::size_t bufferSize,
                      const std::string& fileName);
std::int32_t GetInt(const std::string& section, const std::string& key, std::int32_t defaultValue,
                    const std::string& fileName);
bool WriteString(const std::string& section, const std::string& key, const std::string& value,
                 const std::string& fileName);

} // namespace platform::ini_text
