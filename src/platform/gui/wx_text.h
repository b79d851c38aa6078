#pragma once

#include <wx/string.h>

#include <string>

// The program's texts are UTF-8; the toolkit's strings are its own.
namespace platform::gui {

inline wxString ToWx(const std::string& utf8) {
    return wxString::FromUTF8(utf8.data(), utf8.size());
}

inline std::string FromWx(const wxString& value) {
    const wxScopedCharBuffer buffer = value.utf8_str();
    return std::string(buffer.data(), buffer.length());
}

} // namespace platform::gui
