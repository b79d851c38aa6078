#include "platform/graphical_front_end.h"

// The program's own types before the toolkit's headers, which define TRUE
// and FALSE as macros.
#include "platform/message_box.h"
#include "platform/native_ui.h"
#include "platform/window_layout.h"

#include "platform/gui/message_box_dialog.h"
#include "platform/gui/template_dialog.h"
#include "platform/gui/wx_text.h"

#include <wx/app.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/init.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// The graphical front end: the toolkit is started on the thread that creates
// it, which from then on runs every dialog and box. Other threads reach a
// dialog only through posted messages, and a box they ask for is shown by the
// dialog thread while its modal loop runs.
namespace platform {

namespace {

class Application : public wxApp {
public:
    bool OnInit() override { return true; }
};

class GraphicalFrontEnd : public FrontEnd, public NativeUi {
public:
    explicit GraphicalFrontEnd(std::thread::id dialogThread) : dialogThread_(dialogThread) {}

    ~GraphicalFrontEnd() override {
        if (std::this_thread::get_id() == dialogThread_)
            wxEntryCleanup();
    }

    // FrontEnd: the windows draw themselves.
    void dialogOpened(const DialogView&) override {}
    void dialogChanged(const DialogView&) override {}
    void dialogClosed(const DialogView&, int) override {}

    int messageBox(const std::string& body, const std::string& caption, unsigned type) override {
        if (std::this_thread::get_id() == dialogThread_)
            return showBox(body, caption, type, owner());
        return boxForAnotherThread(body, caption, type);
    }

    std::optional<std::string> openFile(const OpenFileRequest& request) override {
        if (std::this_thread::get_id() != dialogThread_)
            return std::nullopt;
        wxString wildcard;
        for (const FileFilter& filter : ParseFileFilter(request.filter)) {
            if (!wildcard.empty())
                wildcard += "|";
            wildcard += gui::ToWx(filter.description) + "|" + gui::ToWx(filter.pattern);
        }
        const wxFileName initial(gui::ToWx(request.initialName));
        wxFileDialog dialog(owner(), gui::ToWx(request.title), initial.GetPath(),
                            initial.GetFullName(), wildcard.empty() ? wxString("*") : wildcard,
                            wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        const int answer = showModal(dialog);
        if (answer != wxID_OK)
            return std::nullopt;
        return WithDefaultExtension(gui::FromWx(dialog.GetPath()), request.defaultExtension);
    }

    // NativeUi
    INT_PTR runModal(const DialogTemplate& layout, HWND owner,
                     NativeDialogEvents& events) override {
        if (std::this_thread::get_id() != dialogThread_)
            return -1;
        auto* parent = owner != nullptr ? gui::TemplateDialog::FromHandle(owner) : nullptr;
        auto dialog = std::make_unique<gui::TemplateDialog>(parent, layout, events);
        {
            std::lock_guard<std::mutex> guard(windowsLock_);
            windows_.insert(dialog->handle());
        }
        modal_.push_back(dialog->handle());
        ++modalDepth_;
        INT_PTR result = 0;
        try {
            result = dialog->run();
        } catch (...) {
            forget(*dialog);
            throw;
        }
        forget(*dialog);
        return result;
    }

    void endModal(HWND window, INT_PTR result) override {
        if (!live(window))
            return;
        auto* dialog = gui::TemplateDialog::FromHandle(window);
        // A loop with another one on top of it ends when that one has.
        if (!modal_.empty() && modal_.back() != window && isModal(window)) {
            pendingEnds_.emplace_back(window, result);
            return;
        }
        dialog->finish(result);
    }
    void setTitle(HWND window, const std::string& value) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->SetTitle(gui::ToWx(value));
    }
    void setItemText(HWND window, int id, const std::string& value) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->setItemText(id, value);
    }
    void setProgressRange(HWND window, int id, int low, int high) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->setProgressRange(id, low, high);
    }
    void setProgressPosition(HWND window, int id, int position) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->setProgressPosition(id, position);
    }
    void setIcon(HWND window, const std::string& icon, bool big) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->setWindowIcon(icon, big);
    }
    void setTimer(HWND window, UINT_PTR id, UINT realMilliseconds) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->setTimer(id, realMilliseconds);
    }
    void killTimer(HWND window, UINT_PTR id) override {
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->killTimer(id);
    }
    BOOL post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        std::lock_guard<std::mutex> guard(windowsLock_);
        if (window == nullptr || windows_.count(window) == 0)
            return FALSE;
        auto* event = new wxThreadEvent(gui::kPostedMessageEvent);
        event->SetPayload(gui::PostedMessage{message, wParam, lParam});
        wxQueueEvent(gui::TemplateDialog::FromHandle(window), event);
        return TRUE;
    }

private:
    struct PendingBox {
        std::mutex lock;
        std::condition_variable done;
        bool answered = false;
        int answer = 0;
    };

    static wxWindow* owner() {
        HWND window = NativeOwnerWindow();
        return window != nullptr ? gui::TemplateDialog::FromHandle(window) : nullptr;
    }

    bool live(HWND window) {
        std::lock_guard<std::mutex> guard(windowsLock_);
        return window != nullptr && windows_.count(window) != 0;
    }

    bool isModal(HWND window) const {
        return std::find(modal_.begin(), modal_.end(), window) != modal_.end();
    }

    void forget(gui::TemplateDialog& dialog) {
        {
            std::lock_guard<std::mutex> guard(windowsLock_);
            windows_.erase(dialog.handle());
        }
        --modalDepth_;
        modal_.erase(std::remove(modal_.begin(), modal_.end(), dialog.handle()), modal_.end());
        std::erase_if(pendingEnds_, [&](const auto& end) { return end.first == dialog.handle(); });
        finishPending();
    }

    // Any modal window of this front end (box, file dialog), kept on the
    // stack of loops while it runs.
    int showModal(wxDialog& dialog) {
        HWND self = reinterpret_cast<HWND>(static_cast<wxWindow*>(&dialog));
        modal_.push_back(self);
        ++modalDepth_;
        const int answer = dialog.ShowModal();
        --modalDepth_;
        modal_.erase(std::remove(modal_.begin(), modal_.end(), self), modal_.end());
        finishPending();
        return answer;
    }

    // Ends the loop that was asked to end while another ran on top of it,
    // once it is the innermost again.
    void finishPending() {
        if (modal_.empty())
            return;
        auto it = std::find_if(pendingEnds_.begin(), pendingEnds_.end(),
                               [&](const auto& end) { return end.first == modal_.back(); });
        if (it == pendingEnds_.end())
            return;
        const auto [window, result] = *it;
        pendingEnds_.erase(it);
        if (live(window))
            gui::TemplateDialog::FromHandle(window)->finish(result);
    }

    int showBox(const std::string& body, const std::string& caption, unsigned type,
                wxWindow* parent) {
        gui::MessageBoxDialog box(parent, gui::ToWx(body), gui::ToWx(caption),
                                  DecodeMessageBoxType(type));
        showModal(box);
        return box.answer() != 0 ? box.answer() : DefaultButton(type);
    }

    // Shown by the dialog thread while one of its modal loops runs; with
    // none running the box cannot be shown, and is answered as a box nobody
    // can see is: with its default button.
    int boxForAnotherThread(const std::string& body, const std::string& caption, unsigned type) {
        if (modalDepth_.load() == 0) {
            std::cerr << (caption.empty() ? std::string() : caption + ": ") << body << '\n';
            return DefaultButton(type);
        }
        auto pending = std::make_shared<PendingBox>();
        wxTheApp->CallAfter([this, pending, body, caption, type] {
            const int answer = showBox(body, caption, type, nullptr);
            std::lock_guard<std::mutex> guard(pending->lock);
            pending->answer = answer;
            pending->answered = true;
            pending->done.notify_all();
        });
        std::unique_lock<std::mutex> guard(pending->lock);
        pending->done.wait(guard, [&] { return pending->answered; });
        return pending->answer;
    }

    const std::thread::id dialogThread_;
    std::mutex windowsLock_;
    std::set<HWND> windows_;
    // The modal loops of the dialog thread, innermost last.
    std::vector<HWND> modal_;
    std::vector<std::pair<HWND, INT_PTR>> pendingEnds_;
    std::atomic<int> modalDepth_{0};
};

std::atomic<bool> created{false};

} // namespace

bool GraphicalFrontEndBuilt() {
    return true;
}

std::shared_ptr<FrontEnd> CreateGraphicalFrontEnd(std::string& why) {
    if (!DisplayNamed()) {
        why = "no display is named (DISPLAY and WAYLAND_DISPLAY are not set)";
        return nullptr;
    }
    if (created.exchange(true)) {
        why = "the graphical front end runs already";
        return nullptr;
    }
    static char name[] = "refirm";
    static char* arguments[] = {name, nullptr};
    int count = 1;
    wxApp::SetInstance(new Application);
    if (!wxEntryStart(count, arguments) || wxTheApp == nullptr || !wxTheApp->CallOnInit()) {
        wxEntryCleanup();
        created = false;
        why = "the display cannot be opened";
        return nullptr;
    }
    // The program decides when it ends, not its last window.
    wxTheApp->SetExitOnFrameDelete(false);
    return std::make_shared<GraphicalFrontEnd>(std::this_thread::get_id());
}

} // namespace platform
