#pragma once
// user32, advapi32 and shell32 are not imported: only kernel32 and msvcrt are bound at start-up,
// while the DLL search still includes the program's folder. These load them, on first use, from
// the system directory after wWinMain has locked the search, so their own imports come from
// there as well.
#include "platform/win32/Win32Common.h"

#include <shellapi.h>
#include <shlobj.h>

namespace qv::win32 {

// A system DLL and the functions taken from it; a system without them cannot run the program.
template <typename Api>
Api& SystemApi() {
    static Api api;
    return api;
}

[[noreturn]] void MissingSystemFunction();

template <typename F>
F Required(HMODULE module, const char* name) {
    F f = ProcFrom<F>(module, name);
    if (f == nullptr) MissingSystemFunction();
    return f;
}

#define QV_SYSTEM_FUNCTION(name) decltype(&::name) name = Required<decltype(&::name)>(module, #name)

struct User32 {
    HMODULE module = LoadSystemLibrary(L"user32.dll");
    QV_SYSTEM_FUNCTION(MessageBoxW);
    QV_SYSTEM_FUNCTION(DialogBoxParamW);
    QV_SYSTEM_FUNCTION(EndDialog);
    QV_SYSTEM_FUNCTION(GetDlgItem);
    QV_SYSTEM_FUNCTION(GetDlgItemTextW);
    QV_SYSTEM_FUNCTION(SetDlgItemTextW);
    QV_SYSTEM_FUNCTION(CheckDlgButton);
    QV_SYSTEM_FUNCTION(IsDlgButtonChecked);
    QV_SYSTEM_FUNCTION(ShowWindow);
    QV_SYSTEM_FUNCTION(SendMessageW);
    QV_SYSTEM_FUNCTION(SetWindowLongW);
    QV_SYSTEM_FUNCTION(GetWindowLongW);
    QV_SYSTEM_FUNCTION(LoadImageW);
    QV_SYSTEM_FUNCTION(DestroyIcon);
    QV_SYSTEM_FUNCTION(ExitWindowsEx);
};

struct Advapi32 {
    HMODULE module = LoadSystemLibrary(L"advapi32.dll");
    QV_SYSTEM_FUNCTION(RegCreateKeyExW);
    QV_SYSTEM_FUNCTION(RegOpenKeyExW);
    QV_SYSTEM_FUNCTION(RegCloseKey);
    QV_SYSTEM_FUNCTION(OpenProcessToken);
    QV_SYSTEM_FUNCTION(LookupPrivilegeValueW);
    QV_SYSTEM_FUNCTION(AdjustTokenPrivileges);
};

struct Shell32 {
    HMODULE module = LoadSystemLibrary(L"shell32.dll");
    QV_SYSTEM_FUNCTION(CommandLineToArgvW);
    QV_SYSTEM_FUNCTION(IsUserAnAdmin);
};

#undef QV_SYSTEM_FUNCTION

inline User32& user32() { return SystemApi<User32>(); }
inline Advapi32& advapi32() { return SystemApi<Advapi32>(); }
inline Shell32& shell32() { return SystemApi<Shell32>(); }

inline LSTATUS CloseKey(HKEY key) { return advapi32().RegCloseKey(key); }
using UniqueHkey = UniqueAny<NullTraits<HKEY, decltype(&CloseKey), &CloseKey>>;

}  // namespace qv::win32
