#pragma once

#include <cstdint>
#include <string>

// Generated firmware images for the benchmarks: S3 records of 32 data bytes
// covering [0x10000000, 0x10000000 + mainBytes), then 48 KiB of S2 records at
// 0x104000 (together they fill the SX-T18 main controller map exactly when
// mainBytes is 24 MiB), with pseudo-random data.
namespace bench {

enum class Order {
    Ordered,     // in address order
    Shuffled,    // the same records in random order
    Overlapping, // in order, then one record in 16 again with other data
};

struct ImageShape {
    std::uint64_t mainBytes = 24u << 20;
    Order order = Order::Ordered;
};

// The image's text; data bytes in `dataBytes`.
std::string GenerateImage(const ImageShape& shape, std::uint64_t* dataBytes = nullptr);

// Writes it to a file; false when it cannot be written.
bool WriteImage(const std::string& path, const ImageShape& shape);

} // namespace bench
