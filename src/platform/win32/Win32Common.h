#pragma once
// Shared by the Win32 adapters: text pointer conversion and one RAII holder for every handle.
#include <windows.h>

// The seams' method names are plain words; the headers' A/W macros would rename them.
#undef MessageBox
#undef DialogBox
#undef GetModuleHandle
#undef GetModuleFileName
#undef GetCommandLine
#undef GetSystemDirectory
#undef LoadLibrary
#undef ExitWindows
#undef InitiateShutdown

#include "common/ReadGrowing.h"
#include "common/WideString.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "UTF-16 wchar_t expected");

namespace qv::win32 {

// The logic's UTF-16 text as Windows' wchar_t, and back: the same code units.
inline const wchar_t* AsWide(const char16_t* text) {
    return reinterpret_cast<const wchar_t*>(text);
}
inline const wchar_t* AsWide(const WideString& text) {
    return AsWide(text.c_str());
}
inline wchar_t* AsWide(char16_t* text) {
    return reinterpret_cast<wchar_t*>(text);
}
inline const char16_t* AsUtf16(const wchar_t* text) {
    return reinterpret_cast<const char16_t*>(text);
}

// Runs `close(handle)` and leaves the caller's last error as it was: one body for every holder,
// which passes its handle as bits.
void CloseKeepingError(void (*close)(uintptr_t), uintptr_t handle);

// Owns a handle; Traits give its empty value and its closer.
template <typename Traits>
class UniqueAny {
  public:
    using Handle = typename Traits::Handle;
    UniqueAny() = default;
    explicit UniqueAny(Handle h) : handle_(h) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : handle_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    Handle get() const { return handle_; }
    Handle* put() {
        reset();
        return &handle_;
    }
    Handle release() {
        Handle h = handle_;
        handle_ = Traits::Empty();
        return h;
    }
    explicit operator bool() const { return handle_ != Traits::Empty(); }
    void reset(Handle h = Traits::Empty()) {
        if (handle_ != Traits::Empty()) CloseKeepingError(&CloseBits, (uintptr_t)handle_);
        handle_ = h;
    }

  private:
    static void CloseBits(uintptr_t h) { Traits::Close((Handle)h); }
    Handle handle_ = Traits::Empty();
};

template <typename H, typename Closer, Closer close>
struct NullTraits {
    using Handle = H;
    static Handle Empty() { return Handle(); }
    static void Close(Handle h) { close(h); }
};

struct FindTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};

using UniqueHandle = UniqueAny<NullTraits<HANDLE, decltype(&::CloseHandle), &::CloseHandle>>;
struct FileTraits {
    using Handle = HANDLE;
    static Handle Empty() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
using UniqueFileHandle = UniqueAny<FileTraits>;
using UniqueFind = UniqueAny<FindTraits>;
using UniqueLocal = UniqueAny<NullTraits<HLOCAL, decltype(&::LocalFree), &::LocalFree>>;

// ReadGrowing (common/ReadGrowing.h) around a call of Windows' types: `read(buffer, size)`.
template <typename Read>
UINT ReadGrowing(WideString& value, const Read& read, bool required = false,
                 bool* first = nullptr) {
    return qv::ReadGrowing(
        value,
        [](const void* context, char16_t* buffer, DWORD* size) -> uint32_t {
            return (*static_cast<const Read*>(context))(AsWide(buffer), size);
        },
        &read, required, first);
}

// A function of a loaded module, or null when the module or the export is missing.
template <typename F>
F OptionalFunction(HMODULE module, const char* name) {
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)))
                  : nullptr;
}

// The setup log's file while it is open: where the fault guard writes its line.
inline HANDLE g_faultLog = nullptr;

// No Windows Error Reporting box and no debugger for an unhandled exception: one line to the
// open log, then the end, with the exception's code where the exit-code table lists it.
void GuardFaults();

// Whether the process's DLL search is the system directory alone; set once by LockDllSearch.
inline bool g_dllSearchLocked = false;

// Leaves only the system directory in the DLL search. Windows 7 without the update that
// brought SetDefaultDllDirectories cannot; LoadSystemLibrary then names full paths instead.
inline void LockDllSearch() {
    using SetDefault = BOOL(WINAPI*)(DWORD);
    auto set = OptionalFunction<SetDefault>(::GetModuleHandleW(L"kernel32.dll"),
                                            "SetDefaultDllDirectories");
    g_dllSearchLocked = set != nullptr && set(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!g_dllSearchLocked) ::SetDllDirectoryW(L"");
}

// A DLL of the system directory only: never one planted beside the program. Without the locked
// search, the full path loads it and its own imports from the system directory as well.
inline HMODULE LoadSystemLibrary(const wchar_t* name) {
    if (g_dllSearchLocked) return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    wchar_t path[MAX_PATH];
    UINT n = ::GetSystemDirectoryW(path, MAX_PATH);
    size_t length = ::lstrlenW(name);
    if (n == 0 || n + 1 + length >= MAX_PATH) return nullptr;
    path[n] = L'\\';
    ::lstrcpyW(path + n + 1, name);
    return ::LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace qv::win32
