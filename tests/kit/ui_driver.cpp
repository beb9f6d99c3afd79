// Drives the windows of other programs in the same Wine prefix for the end-to-end tests.
// Windows are found by exact caption among the visible top-level windows. Output is UTF-8, one
// JSON object per line where it describes windows. Exit codes: 0 done, 1 window not found in
// time, 2 bad usage, 3 the action failed; `msgbox` exits with the box's answer, the `exec` verbs
// with the program's code (a script that cannot read the output still gets it whole).
#include <windows.h>

#include <cwchar>
#include <string>
#include <vector>

#include "kitio.h"

namespace {

constexpr DWORD kDefaultTimeoutMs = 10000;
constexpr UINT kSendTimeoutMs = 2000;

void Out(const std::wstring& text) {
    kit_out(text.c_str());
}

std::wstring Json(const std::wstring& text) {
    std::wstring quoted = L"\"";
    for (wchar_t c : text) {
        switch (c) {
            case L'"':
                quoted += L"\\\"";
                break;
            case L'\\':
                quoted += L"\\\\";
                break;
            case L'\n':
                quoted += L"\\n";
                break;
            case L'\r':
                quoted += L"\\r";
                break;
            case L'\t':
                quoted += L"\\t";
                break;
            default:
                if (c < 0x20) {
                    wchar_t escaped[8];
                    swprintf(escaped, 8, L"\\u%04x", c);
                    quoted += escaped;
                } else {
                    quoted += c;
                }
        }
    }
    return quoted + L"\"";
}

std::wstring Hex(unsigned long value) {
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lx", value);
    return text;
}

std::wstring Handle(HWND window) {
    return Hex(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(window)));
}

// WM_GETTEXT rather than GetWindowTextW: it reads a control's text in another process too.
std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &length))
        return L"";
    std::vector<wchar_t> text(length + 2);
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                        SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied);
    return std::wstring(text.data(), copied);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = L"";
    GetClassNameW(window, name, 256);
    return name;
}

struct Search {
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<Search*>(param);
    if (!IsWindowVisible(window)) return TRUE;
    wchar_t text[512];
    if (GetWindowTextW(window, text, 512) && !wcscmp(text, search->caption)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindNow(const wchar_t* caption) {
    // Dialogs and message boxes first: a program's main window may share their caption.
    HWND dialog = FindWindowW(L"#32770", caption);
    if (dialog && IsWindowVisible(dialog)) return dialog;
    Search search{caption, nullptr};
    EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitFor(const wchar_t* caption, DWORD timeout_ms) {
    DWORD start = GetTickCount();
    for (;;) {
        if (HWND window = FindNow(caption)) return window;
        if (GetTickCount() - start >= timeout_ms) return nullptr;
        Sleep(50);
    }
}

BOOL CALLBACK DumpChild(HWND child, LPARAM parent) {
    // Only direct children: a message box has nothing deeper, and a dialog's controls are flat.
    if (GetParent(child) != reinterpret_cast<HWND>(parent)) return TRUE;
    std::wstring cls = ClassOf(child);
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(HWND_DESKTOP, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&r), 2);
    wchar_t rect[64];
    swprintf(rect, 64, L"[%ld,%ld,%ld,%ld]", r.left, r.top, r.right, r.bottom);
    std::wstring line = L"{\"id\":" + std::to_wstring(GetDlgCtrlID(child)) + L",\"class\":" +
                        Json(cls) + L",\"text\":" + Json(TextOf(child)) + L",\"visible\":" +
                        (IsWindowVisible(child) ? L"true" : L"false") + L",\"enabled\":" +
                        (IsWindowEnabled(child) ? L"true" : L"false");
    if (!_wcsicmp(cls.c_str(), L"Button")) {
        DWORD_PTR state = 0;
        SendMessageTimeoutW(child, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &state);
        line += L",\"checked\":" + std::to_wstring(state);
    }
    line += L",\"style\":" + Json(Hex(GetWindowLongW(child, GWL_STYLE))) + L",\"rect\":" + rect +
            L"}\n";
    Out(line);
    return TRUE;
}

int Dump(HWND window) {
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(window, WM_GETICON, ICON_BIG, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &icon);
    RECT r;
    GetClientRect(window, &r);
    wchar_t client[32];
    swprintf(client, 32, L"[%ld,%ld]", r.right, r.bottom);
    Out(L"{\"window\":" + Json(Handle(window)) + L",\"class\":" + Json(ClassOf(window)) +
        L",\"text\":" + Json(TextOf(window)) + L",\"style\":" +
        Json(Hex(GetWindowLongW(window, GWL_STYLE))) + L",\"exstyle\":" +
        Json(Hex(GetWindowLongW(window, GWL_EXSTYLE))) + L",\"big_icon\":" +
        (icon ? L"true" : L"false") + L",\"client\":" + client + L"}\n");
    EnumChildWindows(window, DumpChild, reinterpret_cast<LPARAM>(window));
    return 0;
}

// BM_CLICK is sent, not posted, so a click on a hidden or missing control is reported. A handler
// that opens a modal loop keeps the reply back; the click has happened by then, so a timeout
// counts as done.
int Click(HWND window, int id) {
    HWND control = GetDlgItem(window, id);
    if (!control) {
        Out(L"no control " + std::to_wstring(id) + L"\n");
        return 3;
    }
    DWORD_PTR ignored;
    SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, kSendTimeoutMs, &ignored);
    return 0;
}

int AnswerId(const wchar_t* name) {
    static const struct {
        const wchar_t* name;
        int id;
    } kIds[] = {{L"IDOK", IDOK},       {L"IDCANCEL", IDCANCEL},     {L"IDABORT", IDABORT},
                {L"IDRETRY", IDRETRY}, {L"IDIGNORE", IDIGNORE},     {L"IDYES", IDYES},
                {L"IDNO", IDNO},       {L"IDTRYAGAIN", IDTRYAGAIN}, {L"IDCONTINUE", IDCONTINUE}};
    for (const auto& entry : kIds)
        if (!_wcsicmp(name, entry.name)) return entry.id;
    return _wtoi(name);
}

// Keys go to the focused control of the window's thread, where the dialog loop's
// IsDialogMessage sees them, as it would a real key press.
int Key(HWND window, const wchar_t* name) {
    WPARAM vk = !_wcsicmp(name, L"escape")  ? VK_ESCAPE
                : !_wcsicmp(name, L"enter") ? VK_RETURN
                : !_wcsicmp(name, L"tab")   ? VK_TAB
                : !_wcsicmp(name, L"space") ? VK_SPACE
                                            : 0;
    if (!vk) return 2;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    HWND target = window;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    UINT scan = MapVirtualKeyW(static_cast<UINT>(vk), MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
    return 0;
}

BOOL CALLBACK ListWindow(HWND window, LPARAM) {
    if (IsWindowVisible(window))
        Out(L"{\"window\":" + Json(Handle(window)) + L",\"class\":" + Json(ClassOf(window)) +
            L",\"text\":" + Json(TextOf(window)) + L"}\n");
    return TRUE;
}

// A program that did not start: an HRESULT, which no program under test exits with by itself.
int StartError() {
    DWORD error = GetLastError();
    Out(L"error " + std::to_wstring(error) + L"\n");
    return static_cast<int>(HRESULT_FROM_WIN32(error));
}

// Runs a command line as given, on `desktop` when one is named, with its standard output and
// error to `out` when one is given, and reports its full 32-bit exit code, which `wine` itself
// truncates to 8 bits.
int Exec(const wchar_t* command_line, const wchar_t* desktop = nullptr, HANDLE out = nullptr) {
    std::wstring buffer = command_line;
    std::wstring place = desktop ? desktop : L"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    if (desktop) si.lpDesktop = &place[0];
    if (out) {
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdOutput = out;
        si.hStdError = out;
    }
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, &buffer[0], nullptr, nullptr, out != nullptr, 0, nullptr,
                                  nullptr, &si, &pi);
    if (out) CloseHandle(out);
    if (!started) return StartError();
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    Out(L"exit " + std::to_wstring(code) + L"\n");
    return static_cast<int>(code);
}

// As a service or a task run as SYSTEM starts it: on a window station of its own, whose
// UOI_FLAGS lack WSF_VISIBLE, where a box never returns.
int ExecHidden(const wchar_t* command_line) {
    HWINSTA station = CreateWindowStationW(L"QvService", 0, WINSTA_ALL_ACCESS, nullptr);
    HWINSTA own = GetProcessWindowStation();
    HDESK desktop = nullptr;
    if (station && SetProcessWindowStation(station)) {
        desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        SetProcessWindowStation(own);
    }
    if (!desktop) return StartError();
    int result = Exec(command_line, L"QvService\\Default");
    CloseDesktop(desktop);
    CloseWindowStation(station);
    return result;
}

// With its standard output redirected to a file, as a script's "> plan.txt" does.
int ExecTo(const wchar_t* path, const wchar_t* command_line) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE out = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return StartError();
    return Exec(command_line, nullptr, out);
}

// Holds the file open as a log viewer does, shared for reading and writing but not for
// deletion, until `ms` have passed; "<path>.held" tells that it is open.
int Hold(const wchar_t* path, DWORD ms) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return Out(L"error\n"), 3;
    HANDLE held = CreateFileW((std::wstring(path) + L".held").c_str(), GENERIC_WRITE, 0, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(held);
    Sleep(ms);
    CloseHandle(file);
    return 0;
}

// Makes the window's process fault from outside: a thread of it started at address 0, as a
// wild jump inside it would. The process's own unhandled-exception handling is what follows.
int Fault(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                     PROCESS_VM_OPERATION | PROCESS_VM_WRITE | PROCESS_VM_READ,
                                 FALSE, pid);
    if (!process) return Out(L"error " + std::to_wstring(GetLastError()) + L"\n"), 3;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, nullptr, nullptr, 0, nullptr);
    DWORD error = GetLastError();
    CloseHandle(process);
    if (!thread) return Out(L"error " + std::to_wstring(error) + L"\n"), 3;
    CloseHandle(thread);
    return Out(L"faulted " + std::to_wstring(pid) + L"\n"), 0;
}

int Usage() {
    Out(L"usage: ui_driver wait|gone|dump|close <caption> [timeout_ms]\n"
        L"       ui_driver click <caption> <id> [timeout_ms]\n"
        L"       ui_driver answer <caption> IDYES|IDNO|IDOK|IDCANCEL|<id> [timeout_ms]\n"
        L"       ui_driver key <caption> escape|enter|tab|space [timeout_ms]\n"
        L"       ui_driver list | msgbox <caption> <text> [type] | exec <command line>\n"
        L"       ui_driver exec-hidden <command line> | exec-to <file> <command line>\n"
        L"       ui_driver hold <path> <ms> | sleep <ms> | fault <caption>\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return Usage();
    std::wstring verb = argv[1];
    if (verb == L"list") return EnumWindows(ListWindow, 0), 0;
    if (verb == L"exec" && argc == 3) return Exec(argv[2]);
    if (verb == L"exec-hidden" && argc == 3) return ExecHidden(argv[2]);
    if (verb == L"exec-to" && argc == 4) return ExecTo(argv[2], argv[3]);
    // Scripts under Wine's cscript have no WScript.Sleep.
    if (verb == L"sleep" && argc == 3) return Sleep(static_cast<DWORD>(_wtoi(argv[2]))), 0;
    if (verb == L"hold" && argc == 4) return Hold(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    if (verb == L"msgbox" && argc >= 4) {
        // The answer is the exit code, so `exec` reports it.
        return MessageBoxW(nullptr, argv[3], argv[2], argc > 4 ? _wtoi(argv[4]) : MB_OK);
    }
    if (argc < 3) return Usage();

    const wchar_t* caption = argv[2];
    bool takes_value = verb == L"click" || verb == L"answer" || verb == L"key";
    if (takes_value && argc < 4) return Usage();
    int timeout_at = takes_value ? 4 : 3;
    DWORD timeout =
        argc > timeout_at ? static_cast<DWORD>(_wtoi(argv[timeout_at])) : kDefaultTimeoutMs;

    if (verb == L"gone") {
        DWORD start = GetTickCount();
        while (FindNow(caption)) {
            if (GetTickCount() - start >= timeout) return Out(L"still there\n"), 1;
            Sleep(50);
        }
        return Out(L"gone\n"), 0;
    }

    HWND window = WaitFor(caption, timeout);
    if (!window) return Out(L"not found\n"), 1;
    if (verb == L"wait") return Out(L"found " + Handle(window) + L"\n"), 0;
    if (verb == L"dump") return Dump(window);
    if (verb == L"click") return Click(window, _wtoi(argv[3]));
    if (verb == L"answer") return Click(window, AnswerId(argv[3]));
    if (verb == L"key") return Key(window, argv[3]);
    if (verb == L"close") return PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 3;
    if (verb == L"fault") return Fault(window);
    return Usage();
}
