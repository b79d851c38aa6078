#include "dialogs/producer_thread.h"

#include "dialogs/upgrade_window.h"
#include "firmware/upgrade_pipeline.h"
#include "platform/sync.h"

ProducerThread::~ProducerThread() {
    if (thread_ != nullptr) {
        platform::WaitForSingleObject(thread_, platform::INFINITE);
        platform::CloseHandle(thread_);
    }
}

platform::DWORD ProducerThread::Main(void* pipeline) {
    return static_cast<CUpgradePipeline*>(pipeline)->producer();
}

void ProducerThread::start(CUpgradePipeline& pipeline) {
    thread_ =
        platform::CreateThread(nullptr, 0, Main, &pipeline, platform::CREATE_SUSPENDED, nullptr);
    platform::ResumeThread(thread_);
}

std::optional<platform::DWORD> ProducerThread::takeExitCode() {
    if (thread_ == nullptr || platform::WaitForSingleObject(thread_, 0) != platform::WAIT_OBJECT_0)
        return std::nullopt;
    platform::DWORD exitCode = 0;
    platform::GetExitCodeThread(thread_, &exitCode);
    platform::CloseHandle(thread_);
    thread_ = nullptr;
    return exitCode;
}

std::optional<platform::DWORD> PollUpgrade(platform::CDialog& dialog, CUpgradePipeline& pipeline,
                                           UpgradeProgress& progress, ProducerThread& producer) {
    if (pipeline.displayRunning != 0)
        progress.drain(dialog, pipeline);
    if (pipeline.displayRunning != 0)
        return std::nullopt;
    return producer.takeExitCode();
}
