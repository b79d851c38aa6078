#include "platform/message_box.h"
#include "platform/native_front_end.h"
#include "platform/native_ui.h"

#include "platform/win32/windows_api.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

// The program's dialogs as the system's own: each one an in-memory dialog
// template made from the program's template data (dialog units, font face and
// size as they stand there), run by the system's modal dialog function with
// real timers; real message boxes; the system's open-file dialog. Texts are
// the program's UTF-8 and go to the wide-character calls; file names are in
// the code page of the file calls (CreateFileA ...), which take them as they are.
namespace platform {

namespace {

std::wstring wide(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty())
        return {};
    const int n =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
    return out;
}

// A file name in the file calls' code page; false when one of its characters
// has no place there.
bool fileName(const wchar_t* text, std::string& out) {
    out.clear();
    BOOL lossy = FALSE;
    const int n =
        ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, nullptr, &lossy);
    if (n <= 1)
        return n == 1;
    out.assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text, -1, out.data(), n, nullptr, &lossy);
    out.resize(static_cast<std::size_t>(n - 1));
    return lossy == FALSE;
}

// A DLGTEMPLATE with its DLGITEMTEMPLATEs, laid out as the system reads them:
// WORD-aligned strings, DWORD-aligned items.
class TemplateWriter {
public:
    void word(WORD value) { bytes_.insert(bytes_.end(), {LOBYTE(value), HIBYTE(value)}); }
    void dword(DWORD value) {
        word(LOWORD(value));
        word(HIWORD(value));
    }
    void text(const std::string& value) {
        for (wchar_t c : wide(value))
            word(static_cast<WORD>(c));
        word(0);
    }
    void align() {
        while (bytes_.size() % 4 != 0)
            bytes_.push_back(0);
    }
    // Aligned for the system's DWORD reads.
    std::vector<DWORD> finish() {
        align();
        std::vector<DWORD> out(bytes_.size() / 4);
        std::memcpy(out.data(), bytes_.data(), bytes_.size());
        return out;
    }

private:
    std::vector<BYTE> bytes_;
};

constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kStaticAtom = 0x0082;

// Icons nobody addresses get ids of their own, so that they can be given
// their images; other controls keep theirs (-1 stays IDC_STATIC).
int itemId(const DialogTemplate& layout, const DialogControl& control) {
    constexpr int kFirstIconId = 0x7F00;
    if (control.id != -1 || control.kind != ControlClass::Icon)
        return control.id == -1 ? 0xFFFF : control.id;
    return kFirstIconId + static_cast<int>(&control - layout.controls.data());
}

std::vector<DWORD> buildTemplate(const DialogTemplate& layout) {
    TemplateWriter out;
    DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_VISIBLE | layout.style;
    out.dword(style);
    out.dword(0); // extended style
    out.word(static_cast<WORD>(layout.controls.size()));
    out.word(0); // x, y: centred
    out.word(0);
    out.word(static_cast<WORD>(layout.width));
    out.word(static_cast<WORD>(layout.height));
    out.word(0); // no menu
    out.word(0); // the standard dialog class
    out.text(layout.caption);
    out.word(static_cast<WORD>(layout.fontSize));
    out.text(layout.fontFace);
    for (const DialogControl& control : layout.controls) {
        out.align();
        DWORD itemStyle = WS_CHILD | WS_VISIBLE;
        switch (control.kind) {
        case ControlClass::Button:
            itemStyle |= WS_TABSTOP |
                         ((control.style & control_style::kDefaultButton) != 0 ? BS_DEFPUSHBUTTON
                                                                               : BS_PUSHBUTTON);
            break;
        case ControlClass::Static:
            itemStyle |= (control.style & control_style::kRightAligned) != 0 ? SS_RIGHT : SS_LEFT;
            break;
        case ControlClass::Icon:
            itemStyle |= SS_ICON;
            break;
        case ControlClass::Progress:
            itemStyle |= WS_BORDER;
            break;
        }
        out.dword(itemStyle);
        out.dword(0);
        out.word(static_cast<WORD>(control.x));
        out.word(static_cast<WORD>(control.y));
        out.word(static_cast<WORD>(control.width));
        out.word(static_cast<WORD>(control.height));
        out.word(static_cast<WORD>(itemId(layout, control)));
        if (control.kind == ControlClass::Progress) {
            out.text(PROGRESS_CLASSA);
        } else {
            out.word(0xFFFF);
            out.word(control.kind == ControlClass::Button ? kButtonAtom : kStaticAtom);
        }
        if (control.kind == ControlClass::Icon)
            out.text(""); // set after creation
        else
            out.text(control.text);
        out.word(0); // no creation data
    }
    return out.finish();
}

LPCWSTR stockIcon(const std::string& name) {
    if (name == stock_icon::kWarning)
        return MAKEINTRESOURCEW(32515); // IDI_WARNING
    return MAKEINTRESOURCEW(32512);     // IDI_APPLICATION
}

// DM_GETDEFID, DM_SETDEFID and DM_REPOSITION: the dialog manager's own, at
// the start of the WM_USER range.
constexpr UINT kFirstProgramMessage = WM_USER + 3;

struct Running {
    const DialogTemplate* layout;
    NativeDialogEvents* events;
};

::INT_PTR CALLBACK dialogProc(::HWND window, ::UINT message, ::WPARAM wParam, ::LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* running = reinterpret_cast<Running*>(lParam);
        for (const DialogControl& control : running->layout->controls)
            if (control.kind == ControlClass::Icon)
                ::SendDlgItemMessageW(
                    window, itemId(*running->layout, control), STM_SETICON,
                    reinterpret_cast<WPARAM>(::LoadIconW(nullptr, stockIcon(control.text))), 0);
        running->events->initialise(window);
        return TRUE;
    }
    auto* running = reinterpret_cast<Running*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (running == nullptr)
        return FALSE;
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED || lParam == 0)
            running->events->command(LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        running->events->command(IDCANCEL);
        return TRUE;
    case WM_TIMER:
        running->events->timer(static_cast<UINT_PTR>(wParam));
        return TRUE;
    case WM_DEVICECHANGE:
        running->events->deviceChange(wParam, lParam);
        return TRUE;
    case WM_DESTROY:
        running->events->destroyed();
        ::SetWindowLongPtrW(window, DWLP_USER, 0);
        return TRUE;
    default:
        if (message >= kFirstProgramMessage && message <= 0xBFFF) {
            running->events->message(message, wParam, lParam);
            return TRUE;
        }
        return FALSE;
    }
}

class Win32FrontEnd : public FrontEnd, public NativeUi {
public:
    Win32FrontEnd() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&controls);
    }

    // FrontEnd: the windows draw themselves.
    void dialogOpened(const DialogView&) override {}
    void dialogChanged(const DialogView&) override {}
    void dialogClosed(const DialogView&, int) override {}

    int messageBox(const std::string& text, const std::string& caption, unsigned type) override {
        const int answer = ::MessageBoxW(NativeOwnerWindow(), wide(text).c_str(),
                                         wide(caption).c_str(), type | MB_SETFOREGROUND);
        return answer == 0 ? DefaultButton(type) : answer;
    }

    std::optional<std::string> openFile(const OpenFileRequest& request) override {
        // "Description|pattern|...||" as the double-NUL form.
        std::wstring filter = wide(request.filter);
        for (wchar_t& c : filter)
            if (c == L'|')
                c = L'\0';
        filter.push_back(L'\0');
        std::vector<wchar_t> file(4096, L'\0');
        const std::wstring initial = wide(request.initialName, CP_ACP);
        initial.copy(file.data(), file.size() - 1);
        const std::wstring extension = wide(request.defaultExtension);
        const std::wstring title = wide(request.title);
        OPENFILENAMEW dialog{};
        dialog.lStructSize = sizeof(dialog);
        dialog.hwndOwner = NativeOwnerWindow();
        dialog.lpstrFilter = filter.c_str();
        dialog.lpstrFile = file.data();
        dialog.nMaxFile = static_cast<DWORD>(file.size());
        dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
        dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
        dialog.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
        if (!::GetOpenFileNameW(&dialog))
            return std::nullopt;
        std::string name;
        if (fileName(file.data(), name))
            return name;
        // A name the code page cannot hold is reached by its short form.
        std::vector<wchar_t> shortName(file.size(), L'\0');
        const DWORD n = ::GetShortPathNameW(file.data(), shortName.data(),
                                            static_cast<DWORD>(shortName.size()));
        if (n != 0 && n < shortName.size())
            fileName(shortName.data(), name);
        return name;
    }

    // NativeUi
    INT_PTR runModal(const DialogTemplate& layout, HWND owner,
                     NativeDialogEvents& events) override {
        const std::vector<DWORD> data = buildTemplate(layout);
        Running running{&layout, &events};
        return ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr),
                                         reinterpret_cast<LPCDLGTEMPLATEW>(data.data()), owner,
                                         dialogProc, reinterpret_cast<LPARAM>(&running));
    }
    void endModal(HWND window, INT_PTR result) override { ::EndDialog(window, result); }
    void setTitle(HWND window, const std::string& text) override {
        ::SetWindowTextW(window, wide(text).c_str());
    }
    void setItemText(HWND window, int id, const std::string& text) override {
        ::SetDlgItemTextW(window, id, wide(text).c_str());
    }
    void setProgressRange(HWND window, int id, int low, int high) override {
        ::SendDlgItemMessageW(window, id, PBM_SETRANGE32, static_cast<WPARAM>(low),
                              static_cast<LPARAM>(high));
    }
    void setProgressPosition(HWND window, int id, int position) override {
        ::SendDlgItemMessageW(window, id, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    }
    void setIcon(HWND window, const std::string& icon, bool big) override {
        ::SendMessageW(window, WM_SETICON, big ? ICON_BIG : ICON_SMALL,
                       reinterpret_cast<LPARAM>(::LoadIconW(nullptr, stockIcon(icon))));
    }
    void setTimer(HWND window, UINT_PTR id, UINT realMilliseconds) override {
        ::SetTimer(window, id, realMilliseconds, nullptr);
    }
    void killTimer(HWND window, UINT_PTR id) override { ::KillTimer(window, id); }
    BOOL post(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
        // Window handles are the whole system's: only this program's own.
        ::DWORD process = 0;
        if (window == nullptr || ::GetWindowThreadProcessId(window, &process) == 0 ||
            process != ::GetCurrentProcessId())
            return FALSE;
        return ::PostMessageW(window, message, wParam, lParam);
    }
};

} // namespace

std::shared_ptr<FrontEnd> CreateNativeFrontEnd() {
    return std::make_shared<Win32FrontEnd>();
}

} // namespace platform
