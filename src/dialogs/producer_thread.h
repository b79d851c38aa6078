#pragma once

#include "platform/dialog.h"
#include "platform/win_types.h"

#include <optional>

class CUpgradePipeline;
class UpgradeProgress;

// The producer thread of an upgrade dialog: created suspended and resumed,
// looked at by the dialog's timer, and waited for when the dialog goes away
// before it has ended.
class ProducerThread {
public:
    ProducerThread() = default;
    ~ProducerThread();
    ProducerThread(const ProducerThread&) = delete;
    ProducerThread& operator=(const ProducerThread&) = delete;

    // Runs the pipeline's producer.
    void start(CUpgradePipeline& pipeline);
    // From start until the exit code has been taken.
    bool exists() const { return thread_ != nullptr; }
    // The exit code once the thread has ended (the thread object is then
    // gone); nothing while it runs.
    std::optional<platform::DWORD> takeExitCode();

private:
    static platform::DWORD Main(void* pipeline);

    platform::HANDLE thread_ = nullptr;
};

// One look of the dialog's timer at the run: moves the bars, and once the
// display has seen the run's end and the producer has ended, gives the
// producer's exit code.
std::optional<platform::DWORD> PollUpgrade(platform::CDialog& dialog, CUpgradePipeline& pipeline,
                                           UpgradeProgress& progress, ProducerThread& producer);
