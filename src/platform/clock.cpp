#include "platform/clock.h"

#include <atomic>
#include <cstdlib>
#include <thread>

namespace platform {

namespace {

using Steady = std::chrono::steady_clock;

const Steady::time_point kStart = Steady::now();

std::atomic<double>& scaleSlot() {
    static std::atomic<double> scale{ParseTimeScale(std::getenv("REFIRM_TIME_SCALE"))};
    return scale;
}

std::atomic<bool> manualClock{false};
std::atomic<std::uint64_t> manualTicks{0};

} // namespace

void SetManualClock(bool on) {
    if (on && !manualClock.load())
        manualTicks.store(0);
    manualClock.store(on);
}

bool ManualClock() {
    return manualClock.load();
}

void AdvanceClock(std::uint64_t milliseconds) {
    manualTicks.fetch_add(milliseconds);
}

double ParseTimeScale(const char* text) {
    if (text == nullptr || *text == '\0')
        return 1.0;
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !(value > 0.0) || value > 1e6)
        return 1.0;
    return value;
}

double TimeScale() {
    return scaleSlot().load();
}

void SetTimeScale(double scale) {
    scaleSlot().store(scale > 0.0 ? scale : 1.0);
}

std::chrono::nanoseconds RealDuration(std::uint64_t milliseconds) {
    const double ns = static_cast<double>(milliseconds) * 1e6 * TimeScale();
    return std::chrono::nanoseconds(static_cast<std::int64_t>(ns));
}

void Sleep(DWORD milliseconds) {
    if (manualClock.load()) {
        manualTicks.fetch_add(milliseconds);
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(RealDuration(milliseconds));
}

std::uint64_t GetTickCount64() {
    if (manualClock.load())
        return manualTicks.load();
    const auto real = std::chrono::duration<double, std::milli>(Steady::now() - kStart).count();
    return static_cast<std::uint64_t>(real / TimeScale());
}

DWORD GetTickCount() {
    return static_cast<DWORD>(GetTickCount64());
}

} // namespace platform
