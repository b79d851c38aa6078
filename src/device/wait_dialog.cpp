#include "device/wait_dialog.h"

#include "device/caution_text.h"
#include "device/wait_dialog_templates.h"

CWaitDialog::CWaitDialog(CScanner& scanner)
    : platform::CDialog(wait_dialogs::WaitTemplate()), scanner_(scanner) {}

CWaitDialog::~CWaitDialog() {
    if (thread_ != nullptr)
        platform::CloseHandle(thread_);
}

platform::DWORD CWaitDialog::run(platform::ThreadProc worker, void* argument) {
    result_ = 0;
    thread_ =
        platform::CreateThread(nullptr, 0, worker, argument, platform::CREATE_SUSPENDED, nullptr);
    if (thread_ == nullptr)
        return 0;
    platform::ResumeThread(thread_);
    DoModal();
    // The dialog ends only once the worker has, so its exit code is final.
    platform::DWORD exitCode = 0;
    if (platform::GetExitCodeThread(thread_, &exitCode) != 0)
        result_ = exitCode;
    platform::CloseHandle(thread_);
    thread_ = nullptr;
    return result_;
}

platform::BOOL CWaitDialog::OnInitDialog() {
    SetTimer(kTimerId, kPollPeriod);
    CenterWindow();
    SetDlgItemTextA(wait_dialogs::kMessageText, CautionText());
    return platform::TRUE;
}

void CWaitDialog::OnTimer(platform::UINT_PTR id) {
    if (id != kTimerId)
        return;
    if (platform::WaitForSingleObject(thread_, 0) != platform::WAIT_TIMEOUT)
        EndDialog(0);
}
