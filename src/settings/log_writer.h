#pragma once

#include <cstdint>
#include <string>

#include "platform/system_info.h"

// The log file. Logging is off until StartLog is given a path; each entry opens
// the file, appends one timestamped text and closes it again, so a run that ends
// abruptly keeps every entry written before. Callers end their texts with "\r\n".

// Remembers the path and deletes any file of that name, so each run starts fresh.
// False when no log file can be written there (its directory missing, say): the
// entries are then lost.
bool StartLog(const std::string& path);

// Appends one entry; nothing when logging is off. Entries written by several
// threads at once are all kept, none split by another. An entry is lost only
// when the file cannot be opened (another process holding it, say).
void WriteLog(const std::string& text);

// Empty while logging is off.
std::string LogPath();

// "2014/ 3/ 5 14:07:09.042   ID(     A3C) : "
std::string FormatLogPrefix(const platform::SYSTEMTIME& time, std::uint32_t threadId);
