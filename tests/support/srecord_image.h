#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace testing_support {

struct ImageRange {
    std::uint32_t start;
    std::uint32_t length;
};

// An S-record file (CR LF lines, S3 records of at most 32 bytes, S0 and S7
// around them) holding value(address) at every address of the ranges.
std::string SRecordImage(const std::vector<ImageRange>& ranges,
                         const std::function<std::uint8_t(std::uint32_t)>& value);

} // namespace testing_support
