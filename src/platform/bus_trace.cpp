#include "platform/bus_trace.h"

#include <cstdio>
#include <fstream>
#include <mutex>

namespace platform {

namespace {

struct Trace {
    std::mutex lock;
    std::ofstream file;
};

Trace& trace() {
    static Trace instance;
    return instance;
}

} // namespace

void SetBusTraceFile(const std::string& path) {
    auto& t = trace();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.file.is_open())
        t.file.close();
    if (!path.empty())
        t.file.open(path, std::ios::app | std::ios::binary);
}

bool BusTraceOn() {
    auto& t = trace();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.file.is_open();
}

void BusTrace(const std::string& line) {
    auto& t = trace();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.file.is_open())
        return;
    t.file << line << '\n';
    t.file.flush();
}

std::string HexBytes(const void* bytes, std::size_t count) {
    std::string out;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < count; ++i) {
        char text[4];
        std::snprintf(text, sizeof text, i == 0 ? "%02X" : " %02X", p[i]);
        out += text;
    }
    return out;
}

} // namespace platform
