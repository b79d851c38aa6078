#include "support/srecord_image.h"

#include <algorithm>
#include <cstdio>

namespace testing_support {

std::string SRecordImage(const std::vector<ImageRange>& ranges,
                         const std::function<std::uint8_t(std::uint32_t)>& value) {
    std::string text = "S00600004844521B\r\n";
    for (const ImageRange& range : ranges) {
        for (std::uint32_t offset = 0; offset < range.length; offset += 32) {
            const std::uint32_t n = std::min<std::uint32_t>(32, range.length - offset);
            const std::uint32_t address = range.start + offset;
            unsigned sum = n + 5;
            char line[128];
            int used = std::snprintf(line, sizeof line, "S3%02X%08X", n + 5, address);
            for (int i = 0; i < 4; ++i)
                sum += (address >> (8 * i)) & 0xFF;
            for (std::uint32_t i = 0; i < n; ++i) {
                const std::uint8_t b = value(address + i);
                sum += b;
                used += std::snprintf(line + used, sizeof line - used, "%02X", b);
            }
            std::snprintf(line + used, sizeof line - used, "%02X\r\n", ~sum & 0xFF);
            text += line;
        }
    }
    return text + "S70500000000FA\r\n";
}

} // namespace testing_support
