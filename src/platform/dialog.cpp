#include "platform/dialog.h"

#include "platform/clock.h"
#include "platform/device_notification.h"
#include "platform/native_ui.h"
#include "platform/window_messages.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <exception>
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

void setInnermostWindow(HWND window) {
    std::lock_guard<std::mutex> guard(innermostLock());
    innermostWindow() = window;
}

// While a dialog runs as a real window, device arrivals are delivered by a
// timer of its own, at least this often (nominal milliseconds).
constexpr UINT_PTR kArrivalTimer = 0xFFFFFF01u;
constexpr std::uint64_t kArrivalPoll = 100;

// A nominal duration as the real milliseconds a system timer takes.
UINT realMilliseconds(std::uint64_t nominal) {
    const auto real = std::chrono::ceil<std::chrono::milliseconds>(RealDuration(nominal)).count();
    return static_cast<UINT>(std::clamp<std::int64_t>(real, 1, 0x7FFFFFFF));
}

} // namespace

std::shared_ptr<NativeUi> CurrentNativeUi() {
    return std::dynamic_pointer_cast<NativeUi>(CurrentFrontEnd());
}

HWND NativeOwnerWindow() {
    for (auto it = runningDialogs.rbegin(); it != runningDialogs.rend(); ++it)
        if ((*it)->nativeWindow() != nullptr && !(*it)->destroying_)
            return (*it)->window_;
    return nullptr;
}

// The events of the real window, handed to the dialog's handlers as its own
// loop would: a handler never runs inside another handler of the same dialog.
// While one runs (a box or a dialog opened from it runs the thread's messages)
// what arrives for the dialog waits, posted messages in order and each due
// timer once, and follows when the handler has returned; posted messages come
// before timers; nothing reaches a dialog that has ended.
class CDialog::NativeRun : public NativeDialogEvents {
public:
    NativeRun(CDialog& dialog, NativeUi& native) : dialog_(dialog), native_(native) {}

    std::exception_ptr failure;
    bool initialised = false;

    void initialise(HWND window) override {
        initialised = true;
        {
            std::lock_guard<std::mutex> guard(dialog_.queueLock_);
            dialog_.window_ = window;
        }
        setInnermostWindow(window);
        for (const ControlState& state : dialog_.controls_) {
            if (state.control.kind != ControlClass::Progress || state.control.id == -1)
                continue;
            native_.setProgressRange(window, state.control.id, state.rangeLow, state.rangeHigh);
            native_.setProgressPosition(window, state.control.id, state.position);
        }
        if (!dialog_.bigIcon_.empty())
            native_.setIcon(window, dialog_.bigIcon_, true);
        if (!dialog_.smallIcon_.empty())
            native_.setIcon(window, dialog_.smallIcon_, false);
        armArrivalTimer();
        invoke([this] {
            dialog_.DoDataExchange();
            dialog_.OnInitDialog();
        });
        drain();
    }
    void command(int id) override { deliver({WM_COMMAND, static_cast<WPARAM>(id), 0}); }
    void timer(UINT_PTR id) override {
        if (id == kArrivalTimer) {
            DeliverDueDeviceArrivals();
            armArrivalTimer();
            return;
        }
        if (dialog_.ended_ || dialog_.timers_.count(id) == 0)
            return;
        if (std::find(dueTimers_.begin(), dueTimers_.end(), id) == dueTimers_.end())
            dueTimers_.push_back(id);
        drain();
    }
    // A broadcast record lasts only as long as the call: a device change
    // carries none, as a posted one.
    void deviceChange(WPARAM event, LPARAM) override { deliver({WM_DEVICECHANGE, event, 0}); }
    void message(UINT message, WPARAM wParam, LPARAM lParam) override {
        deliver({message, wParam, lParam});
    }
    void destroyed() override {
        dialog_.destroying_ = true;
        if (!failure)
            invoke([this] { dialog_.OnDestroy(); });
    }

private:
    void deliver(const Posted& message) {
        if (dialog_.ended_)
            return;
        {
            std::lock_guard<std::mutex> guard(dialog_.queueLock_);
            dialog_.queue_.push_back(message);
        }
        drain();
    }

    template <typename Handler> void invoke(Handler handler) {
        ++busy_;
        try {
            handler();
        } catch (...) {
            // Passed on by DoModal once the window is gone.
            if (!failure)
                failure = std::current_exception();
            dialog_.EndDialog(dialog_.result_);
        }
        --busy_;
    }

    void drain() {
        while (busy_ == 0 && !dialog_.ended_) {
            Posted message{};
            bool have = false;
            {
                std::lock_guard<std::mutex> guard(dialog_.queueLock_);
                if (!dialog_.queue_.empty()) {
                    message = dialog_.queue_.front();
                    dialog_.queue_.pop_front();
                    have = true;
                }
            }
            if (have) {
                invoke([&] { dialog_.dispatch(message); });
                continue;
            }
            if (dueTimers_.empty())
                return;
            const UINT_PTR id = dueTimers_.front();
            dueTimers_.erase(dueTimers_.begin());
            if (dialog_.timers_.count(id) != 0)
                invoke([&] { dialog_.OnTimer(id); });
        }
    }

    void armArrivalTimer() {
        std::uint64_t wait = kArrivalPoll;
        if (const std::optional<std::uint64_t> next = NextDeviceArrival()) {
            const std::uint64_t now = GetTickCount64();
            wait = std::min(wait, *next > now ? *next - now : 0);
        }
        native_.setTimer(dialog_.window_, kArrivalTimer, realMilliseconds(wait));
    }

    CDialog& dialog_;
    NativeUi& native_;
    int busy_ = 0;
    std::vector<UINT_PTR> dueTimers_;
};

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
    if (NativeUi* native = nativeWindow())
        native->setTitle(window_, text);
    changed();
}

void CDialog::SetDlgItemTextA(int id, const std::string& text) {
    if (ControlState* state = find(id)) {
        state->control.text = text;
        if (NativeUi* native = nativeWindow())
            native->setItemText(window_, id, text);
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
        if (NativeUi* native = nativeWindow()) {
            native->setProgressRange(window_, id, low, high);
            native->setProgressPosition(window_, id, state->position);
        }
        changed();
    }
}

void CDialog::SetPos(int id, int position) {
    if (ControlState* state = find(id)) {
        state->position =
            std::clamp(position, state->rangeLow, std::max(state->rangeLow, state->rangeHigh));
        if (NativeUi* native = nativeWindow())
            native->setProgressPosition(window_, id, state->position);
        changed();
    }
}

int CDialog::GetPos(int id) const {
    const ControlState* state = find(id);
    return state != nullptr ? state->position : 0;
}

UINT_PTR CDialog::SetTimer(UINT_PTR id, UINT milliseconds) {
    timers_[id] = Timer{milliseconds, GetTickCount64() + milliseconds};
    if (NativeUi* native = nativeWindow())
        native->setTimer(window_, id, realMilliseconds(milliseconds));
    return id;
}

BOOL CDialog::KillTimer(UINT_PTR id) {
    if (timers_.erase(id) == 0)
        return FALSE;
    if (NativeUi* native = nativeWindow())
        native->killTimer(window_, id);
    return TRUE;
}

BOOL CDialog::PostMessageA(UINT message, WPARAM wParam, LPARAM lParam) {
    std::shared_ptr<NativeUi> native;
    HWND window = nullptr;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        if (!running_)
            return FALSE;
        if (native_ != nullptr && window_ != nullptr) {
            native = native_;
            window = window_;
        } else {
            // The runtime's own loop, or a real window not made yet: it
            // takes what waited once it is.
            queue_.push_back(Posted{message, wParam, lParam});
        }
    }
    if (native)
        return native->post(window, message, wParam, lParam);
    queued_.notify_all();
    return TRUE;
}

void CDialog::SetIcon(const std::string& icon, bool big) {
    (big ? bigIcon_ : smallIcon_) = icon;
    if (NativeUi* native = nativeWindow())
        native->setIcon(window_, icon, big);
}

void CDialog::EndDialog(int result) {
    result_ = result;
    ended_ = true;
    if (NativeUi* native = nativeWindow())
        native->endModal(window_, result);
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
    // Like the system's timers (and the native front ends', whose periods are
    // at least a millisecond of real time), a timer comes round at most once
    // a millisecond, however fast time runs: a tick that takes longer than
    // its period must not keep the dialog's thread busy with nothing else.
    const auto floor = static_cast<std::uint64_t>(std::ceil(std::min(1.0 / TimeScale(), 1e9)));
    due->second.due = now + std::max<std::uint64_t>(due->second.period, floor);
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

void CDialog::runNative(NativeUi& native, HWND owner) {
    // The template as the dialog stands now: its title and texts may have
    // been set before it runs.
    DialogTemplate layout = template_;
    layout.caption = title_;
    for (std::size_t i = 0; i < layout.controls.size() && i < controls_.size(); ++i)
        layout.controls[i].text = controls_[i].control.text;
    NativeRun run(*this, native);
    native.runModal(layout, owner, run);
    if (run.failure)
        std::rethrow_exception(run.failure);
    if (!run.initialised)
        throw std::runtime_error("the dialog window could not be created");
}

void CDialog::runLoop() {
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
}

INT_PTR CDialog::DoModal() {
    if (running_)
        throw std::logic_error("a dialog cannot run twice at once");
    auto frontEnd = CurrentFrontEnd();
    std::shared_ptr<NativeUi> native = std::dynamic_pointer_cast<NativeUi>(frontEnd);
    // Owned by the innermost real dialog of this thread that runs now.
    const HWND owner = native ? NativeOwnerWindow() : nullptr;
    {
        std::lock_guard<std::mutex> guard(queueLock_);
        queue_.clear();
        running_ = true;
        native_ = native;
    }
    ended_ = false;
    destroying_ = false;
    result_ = 0;
    timers_.clear();
    // A real window is made by the system; its handle comes with it.
    if (!native)
        window_ = RegisterMessageWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
            PostMessageA(message, wParam, lParam);
        });
    runningDialogs.push_back(this);
    depth_ = static_cast<int>(runningDialogs.size());
    setInnermostWindow(window_);
    if (frontEnd)
        frontEnd->dialogOpened(*this);

    // Whatever happens, the dialog no longer runs once DoModal has returned.
    struct Finish {
        CDialog& dialog;
        ~Finish() {
            if (!dialog.native_)
                UnregisterMessageWindow(dialog.window_);
            {
                std::lock_guard<std::mutex> guard(dialog.queueLock_);
                dialog.window_ = nullptr;
                dialog.running_ = false;
                dialog.queue_.clear();
                dialog.native_.reset();
            }
            runningDialogs.pop_back();
            setInnermostWindow(runningDialogs.empty() ? nullptr : runningDialogs.back()->window_);
        }
    } finish{*this};

    if (native)
        runNative(*native, owner);
    else
        runLoop();
    timers_.clear();
    if (frontEnd)
        frontEnd->dialogClosed(*this, result_);
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
