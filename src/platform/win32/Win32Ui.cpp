// Message boxes, the modal dialog and console output.
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

class Win32DialogWindow : public DialogWindow {
  public:
    Win32DialogWindow(HWND dialog, HINSTANCE instance) : dialog_(dialog), instance_(instance) {}
    void SetItemText(int id, const WideString& text) override {
        user32().SetDlgItemTextW(dialog_, id, AsWide(text));
    }
    void ShowItem(int id, bool show) override {
        user32().ShowWindow(user32().GetDlgItem(dialog_, id), show ? SW_SHOW : SW_HIDE);
    }
    void CheckButton(int id) override { user32().CheckDlgButton(dialog_, id, BST_CHECKED); }
    uint32_t IsButtonChecked(int id) override { return user32().IsDlgButtonChecked(dialog_, id); }
    void EndDialog(intptr_t result) override { user32().EndDialog(dialog_, result); }
    IconHandle LoadIcon32(int resource) override {
        return reinterpret_cast<IconHandle>(user32().LoadImageW(
            instance_, MAKEINTRESOURCEW(resource), IMAGE_ICON, 32, 32, LR_DEFAULTCOLOR));
    }
    void SetBigIcon(IconHandle icon) override {
        user32().SendMessageW(dialog_, WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon));
    }
    void DestroyIcon(IconHandle icon) override {
        user32().DestroyIcon(reinterpret_cast<HICON>(icon));
    }

  private:
    HWND dialog_;
    HINSTANCE instance_;
};

struct DialogContext {
    DialogHandler* handler;
    HINSTANCE instance;
};

// The context pointer rides in DWLP_USER through the 32-bit SetWindowLongW.
static_assert(sizeof(void*) == sizeof(LONG), "setup.exe is a 32-bit program");

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        user32().SetWindowLongW(dialog, DWLP_USER, static_cast<LONG>(lParam));
    auto* context = reinterpret_cast<DialogContext*>(user32().GetWindowLongW(dialog, DWLP_USER));
    if (context == nullptr) return 0;
    Win32DialogWindow window(dialog, context->instance);
    switch (message) {
        case WM_INITDIALOG:
            return context->handler->OnInitDialog(window);
        case WM_COMMAND:
            return context->handler->OnCommand(window, LOWORD(wParam));
        case WM_DESTROY:
            return context->handler->OnDestroy(window);
        default:
            return 0;
    }
}

// The boxes and the dialog pull the theme engine in through delay-loads that do not all honour
// the locked search; loaded from the system directory first, those find it already there.
// Silent runs show nothing and never pay for it.
void LoadThemeEngine() {
    static bool loaded = false;
    if (loaded) return;
    loaded = true;
    LoadSystemLibrary(L"uxtheme.dll");
    LoadSystemLibrary(L"dwmapi.dll");
}

bool WriteUtf8(HANDLE out, const WideString& text) {
    std::vector<char> bytes;
    AppendUtf8(bytes, text);
    DWORD written = 0;
    return ::WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

}  // namespace

int Win32Ui::MessageBox(const WideString& text, const WideString& caption, uint32_t style) {
    LoadThemeEngine();
    return user32().MessageBoxW(nullptr, AsWide(text), AsWide(caption), style);
}

intptr_t Win32Ui::DialogBox(int templateId, DialogHandler& handler, uint32_t& error) {
    LoadThemeEngine();
    DialogContext context{&handler, instance_};
    ::SetLastError(ERROR_SUCCESS);
    INT_PTR result = user32().DialogBoxParamW(instance_, MAKEINTRESOURCEW(templateId), nullptr,
                                              DialogProc, reinterpret_cast<LPARAM>(&context));
    error = result == -1 ? ::GetLastError() : ERROR_SUCCESS;
    // Failed without saying why: the window it needed does not exist.
    if (result == -1 && error == ERROR_SUCCESS) error = ERROR_INVALID_WINDOW_HANDLE;
    return result;
}

bool Win32Ui::Print(const WideString& text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    bool redirected = out != nullptr && out != INVALID_HANDLE_VALUE;
    if (redirected && ::GetFileType(out) != FILE_TYPE_CHAR) return WriteUtf8(out, text);
    // A GUI program has no console of its own: the command prompt's that started it, if any.
    // WriteConsoleW writes UTF-16, so Russian reads right whatever the console's code page.
    UniqueFileHandle console;
    if (!redirected && ::AttachConsole(ATTACH_PARENT_PROCESS))
        console.reset(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    HANDLE target = console ? console.get() : out;
    if (target == nullptr || target == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    // A character device that is no console ("> nul") takes bytes.
    return ::WriteConsoleW(target, AsWide(text), static_cast<DWORD>(text.size()), &written,
                           nullptr) ||
           WriteUtf8(target, text);
}

}  // namespace qv::win32
