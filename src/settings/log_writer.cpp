#include "settings/log_writer.h"

#include "platform/files.h"

#include <cstdio>
#include <mutex>

namespace {

std::mutex& logMutex() {
    static std::mutex m;
    return m;
}

std::string& logPath() {
    static std::string path;
    return path;
}

} // namespace

bool StartLog(const std::string& path) {
    std::lock_guard<std::mutex> lock(logMutex());
    logPath() = path;
    platform::DeleteFileA(path);
    return path.empty() || platform::CanCreateFile(path);
}

std::string LogPath() {
    std::lock_guard<std::mutex> lock(logMutex());
    return logPath();
}

std::string FormatLogPrefix(const platform::SYSTEMTIME& t, std::uint32_t threadId) {
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%4d/%2d/%2d %2d:%02d:%02d.%03d   ID(%8X) : ", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, threadId);
    return prefix;
}

void WriteLog(const std::string& text) {
    // One writer at a time inside the process: two threads opening the file at
    // once would otherwise find it held by the other and drop an entry.
    std::lock_guard<std::mutex> lock(logMutex());
    if (logPath().empty())
        return;
    const std::string entry =
        FormatLogPrefix(platform::GetLocalTime(), platform::GetCurrentThreadId()) + text;
    platform::AppendFile file = platform::AppendFile::open(logPath());
    if (!file.valid())
        return;
    file.write(entry.data(), entry.size());
}
