#include "platform/ini_file.h"

namespace platform {

std::int32_t ParseProfileInt(const std::string& text) {
    std::size_t i = text.find_first_not_of(" \t");
    if (i == std::string::npos)
        return 0;
    bool negative = false;
    if (text[i] == '-' || text[i] == '+') {
        negative = text[i] == '-';
        ++i;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

} // namespace platform
