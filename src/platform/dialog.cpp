#include "platform/dialog.h"

#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/window_messages.h"

#include <algorithm>
#include <stdexcept>

namespace platform {

namespace {

// The running dialogs of the thread, innermost last.
thread_local std::vector<CDialog*> runningDialogs;

std::mutex& innermostLock() {
    static std::mutex lock;
    return lock;
}

HWND& innermostWindow() {
    static HWND window = nullptr;
    return window;
}

} // namespace

CDialog::CDialog(DialogTemplate dialogTemplate)
    : template_(std::move(dialogTemplate)), title_(template_.caption) {
    for (const DialogControl& control : template_.controls) {
        ControlState state;
        state.control = control;
        controls_.push_back(state);
    }
}

CDialog::~CDialog() {
    if (window_ != nullptr)
        UnregisterMessageWindow(window_);
}

void CDialog::SetTemplateFont(const std::string& face, int pointSize) {
    template_.fontFace = face;
    template_.fontSize = pointSize;
}

std::vector<ControlState> CDialog::controls() const {
    return controls_;
}

ControlState* CDialog::find(int id) {
    for (auto& state : controls_)
        if (state.control.id == id && id != -1)
            return &state;
    return nullptr;
}

const ControlState* CDialog::find(int id) const {
    return const_cast<CDialog*>(this)->find(id);
}

void CDialog::changed() {
    if (!running_)
        return;
    if (auto frontEnd = CurrentFrontEnd())
        frontEnd->dialogChanged(*this);
}

void CDialog::SetWindowTextA(const std::string& text) {
    title_ = text;
    changed();
}

void CDialog::SetDlgItemTextA(int id, const std::string& text) {
    if (ControlState* state = find(id)) {
        state->control.text = text;
        changed();
    }
}

std::string CDialog::GetDlgItemTextA(int id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->control.text : std::string();
}

std::vector<int> CDialog::ControlIds() const {
    std::vector<int> ids;
    for (const auto& state : controls_)
        if (state.control.id != -1)
            ids.push_back(state.control.id);
    return ids;
}

void CDialog::SetRange(int id, int low, int high) {
    if (ControlState* state = find(id)) {
        state->rangeLow = low;
        state->rangeHigh = high;
        state->position = std::clamp(state->position, low, std::max(low, high));
        changed();
    }
}

void CDialog::SetPos(int id, int position) {
    if (ControlState* state = find(id)) {
        state->position =
            std::clamp(position, state->rangeLow, std::max(state->rangeLow, state->rangeHigh));
        changed();
    }
}

int CDialog::GetPos(int id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->position : 0;
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT milliseconds) {
    timers_[id] = Timer{milliseconds, GetTickCount64() + milliseconds};
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    return timers_.erase(id) != 0 ? TRUE : FALSE;
}

BOOL CDialog::PostMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        if (!running_)
            return FALSE;
        queue_.push_back(Posted{message, wParam, lParam});
    }
    queued_.notify_all();
    return TRUE;
}

void CDialog::SetIcon(const std::string& icon, bool big) {
    (big ? bigIcon_ : smallIcon_) = icon;
}

void CDialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
}

void CDialog::OnCommand(int id) {
    if (id == 1)
        OnOK();
    else if (id == IDCANCEL)
        OnCancel();
}

void CDialog::dispatch(const Posted& message) {
    switch (message.message) {
    case WM_COMMAND:
        OnCommand(static_cast<int>(message.wParam & 0xFFFF));
        break;
    case WM_DEVICECHANGE:
        OnDeviceChange(message.wParam, message.lParam);
        break;
    default:
        OnMessage(message.message, message.wParam, message.lParam);
        break;
    }
}

bool CDialog::runDueTimer() {
    const std::uint64_t now = GetTickCount64();
    auto due = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
        if (it->second.due <= now && (due == timers_.end() || it->second.due < due->second.due))
            due = it;
    if (due == timers_.end())
        return false;
    const UINT_PTR id = due->first;
    due->second.due = now + due->second.period;
    OnTimer(id);
    return true;
}

void CDialog::waitForWork() {
    std::optional<std::uint64_t> wake = NextDeviceArrival();
    for (const auto& [id, timer] : timers_)
        if (!wake || timer.due < *wake)
            wake = timer.due;
    std::unique_lock<std::mutex> guard(queueLock_);
    auto posted = [this] { return !queue_.empty(); };
    if (posted())
        return;
    if (!wake) {
        // Nothing is due: only a posted message can end the wait.
        queued_.wait(guard, posted);
        return;
    }
    const std::uint64_t now = GetTickCount64();
    if (*wake <= now)
        return;
    if (ManualClock()) {
        guard.unlock();
        AdvanceClock(*wake - now);
        return;
    }
    queued_.wait_for(guard, RealDuration(*wake - now), posted);
}

INT_PTR CDialog::DoModal() {
    if (running_)
        throw std::logic_error("a dialog cannot run twice at once");
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        queue_.clear();
        running_ = true;
    }
    ended_ = false;
    result_ = 0;
    timers_.clear();
    window_ = RegisterMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        PostMessageA(message, wParam, lParam);
    });
    runningDialogs.push_back(this);
    depth_ = static_cast<int>(runningDialogs.size());
    {
        std::lock_guard<std::mutex> guard(innermostLock());
        innermostWindow() = window_;
    }
    auto frontEnd = CurrentFrontEnd();
    if (frontEnd)
        frontEnd->dialogOpened(*this);

    DoDataExchange();
    OnInitDialog();
    while (!ended_) {
        DeliverDueDeviceArrivals();
        Posted message{};
        bool have = false;
        {
            std::lock_guard<std::mutex> guard(queueLock_);
            if (!queue_.empty()) {
                message = queue_.front();
                queue_.pop_front();
                have = true;
            }
        }
        if (have) {
            dispatch(message);
            continue;
        }
        if (runDueTimer())
            continue;
        waitForWork();
    }

    OnDestroy();
    timers_.clear();
    if (frontEnd)
        frontEnd->dialogClosed(*this, result_);
    UnregisterMessageWindow(window_);
    window_ = nullptr;
    runningDialogs.pop_back();
    {
        std::lock_guard<std::mutex> guard(innermostLock());
        innermostWindow() = runningDialogs.empty() ? nullptr : runningDialogs.back()->window_;
    }
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        running_ = false;
        queue_.clear();
    }
    return result_;
}

BOOL PressDialogButton(int id) {
    HWND window;
    {
        std::lock_guard<std::mutex> guard(innermostLock());
        window = innermostWindow();
    }
    if (window == nullptr)
        return FALSE;
    return platform::PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

} // namespace platform
