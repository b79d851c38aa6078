#pragma once

#include <chrono>
#include <cstdint>

// Every sleep, timer and time-out of the program goes through this clock. Its
// durations are nominal milliseconds; REFIRM_TIME_SCALE (a decimal factor,
// default 1) says how long one of them lasts in real time, so that tests and
// rehearsals can run time faster (0.01: a hundred times faster).
namespace platform {

using DWORD = std::uint32_t;

void Sleep(DWORD milliseconds);

// Nominal milliseconds since the process started, wrapping as on Windows.
DWORD GetTickCount();
std::uint64_t GetTickCount64();

// The real time that a nominal duration lasts.
std::chrono::nanoseconds RealDuration(std::uint64_t milliseconds);

double TimeScale();
// Replaces the scale read from the environment (tests).
void SetTimeScale(double scale);

// A clock that only moves when told to, for single-threaded tests: while it
// is on, GetTickCount64 reports the manual time and Sleep advances it at once
// instead of waiting. Timed waits on kernel objects still use real time.
void SetManualClock(bool on);
void AdvanceClock(std::uint64_t milliseconds);
bool ManualClock();

// The factor a REFIRM_TIME_SCALE text stands for; 1 when it is not a positive
// decimal number.
double ParseTimeScale(const char* text);

} // namespace platform
