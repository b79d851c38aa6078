#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// Bytes at consecutive addresses.
struct DataRun {
    std::uint32_t address = 0;
    std::vector<std::uint8_t> bytes;
};

} // namespace sim
