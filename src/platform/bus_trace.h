#pragma once

#include <string>

// A record of every request that reaches a bus of the device layer, one line
// each, also for positions where no device answers. Off until a file is named.
namespace platform {

// Empty: off. Lines are appended to an existing file.
void SetBusTraceFile(const std::string& path);
bool BusTraceOn();
void BusTrace(const std::string& line);

// "12 00 00 00 24 00": bytes in upper-case hexadecimal, separated by blanks.
std::string HexBytes(const void* bytes, std::size_t count);

} // namespace platform
