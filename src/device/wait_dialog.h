#pragma once

#include "platform/dialog.h"
#include "platform/sync.h"

class CScanner;

// The timed "Wait..." dialog (template 158): shows the upgrade cautions while
// a worker function runs on a thread of its own, typically a fixed pause while
// the scanner restarts. A 100 ms timer (id 100) looks whether the worker has
// ended; the dialog ends with 0 when it has, and not before: it waits as long
// as the worker takes. Enter and Escape do not end it.
class CWaitDialog : public platform::CDialog {
public:
    static constexpr platform::UINT_PTR kTimerId = 100;
    static constexpr platform::UINT kPollPeriod = 100;

    explicit CWaitDialog(CScanner& scanner);
    ~CWaitDialog() override;

    // Starts worker(argument) on a new thread (created suspended, then
    // resumed), shows the dialog modally until the worker has ended, and
    // returns the worker's return value (0 when no thread could be started).
    platform::DWORD run(platform::ThreadProc worker, void* argument);

    CScanner& scanner() { return scanner_; }

protected:
    platform::BOOL OnInitDialog() override;
    void OnTimer(platform::UINT_PTR id) override;
    void OnOK() override {}
    void OnCancel() override {}

private:
    CScanner& scanner_;
    platform::HANDLE thread_ = nullptr;
    platform::DWORD result_ = 0;
};
