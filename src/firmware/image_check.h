#pragma once

#include <cstdint>
#include <string>

// Every record of an image file checked once, before anything is sent to the
// scanner: a file that cannot be read, or a record that fails its checksum,
// holds a character that is no digit or an odd number of digits, must never
// cost the scanner its firmware halfway through an upgrade. The decoded bytes
// are not kept; laying the image out stays the pipeline's work.
struct ImageCheck {
    enum class Result { Good, Unreadable, BadRecord };
    Result result = Result::Good;
    std::int32_t line = 0;       // the bad record's line, counted from 1
    std::uint64_t dataBytes = 0; // bytes of all data records, once the file was read

    bool good() const { return result == Result::Good; }
    // What to tell the user, in the current language; empty when good.
    std::string text() const;
};

ImageCheck CheckImageFile(const std::string& path);
