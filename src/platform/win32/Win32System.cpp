// Files, registry, processes and system information.

#include "platform/win32/Win32Platform.h"

#include "platform/win32/SystemApis.h"

namespace qv::win32 {
namespace {

class Win32DirectorySearch : public DirectorySearch {
public:
    Win32DirectorySearch(HANDLE handle, const WIN32_FIND_DATAW& data)
        : handle_(handle), data_(data) {}
    WideString Name() const override { return WideString(U(data_.cFileName)); }
    bool Next() override { return ::FindNextFileW(handle_.get(), &data_) != FALSE; }

private:
    UniqueFind handle_;
    WIN32_FIND_DATAW data_;
};

class Win32RegistryKey : public RegistryKey {
public:
    explicit Win32RegistryKey(HKEY key) : key_(key) {}
    uint32_t CallDeleteKeyEx(ProcAddress entry, const char16_t* name, uint32_t access) override {
        auto f = reinterpret_cast<LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD)>(entry);
        return static_cast<uint32_t>(f(key_.get(), W(name), access, 0));
    }
    uint32_t CallDeleteKey(ProcAddress entry, const char16_t* name) override {
        auto f = reinterpret_cast<LSTATUS(WINAPI*)(HKEY, LPCWSTR)>(entry);
        return static_cast<uint32_t>(f(key_.get(), W(name)));
    }

private:
    UniqueHkey key_;
};

class Win32ProcessToken : public ProcessToken {
public:
    explicit Win32ProcessToken(HANDLE token) : token_(token) {}
    bool EnablePrivilege(const char16_t* name) override {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (!advapi32().LookupPrivilegeValueW(nullptr, W(name), &privileges.Privileges[0].Luid))
            return false;
        return advapi32().AdjustTokenPrivileges(token_.get(), FALSE, &privileges, 0, nullptr, nullptr) !=
               FALSE;
    }

private:
    UniqueHandle token_;
};

class Win32ChildProcess : public ChildProcess {
public:
    explicit Win32ChildProcess(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread) {}
    void WaitForExit() override { ::WaitForSingleObject(process_.get(), INFINITE); }
    bool GetExitCode(uint32_t& code) override {
        DWORD c = 0;
        if (!::GetExitCodeProcess(process_.get(), &c)) return false;
        code = c;
        return true;
    }

private:
    UniqueHandle process_;
    UniqueHandle thread_;
};

}  // namespace

uint32_t Win32FileSystem::GetModuleFileName(char16_t* buffer, uint32_t size) {
    return ::GetModuleFileNameW(nullptr, W(buffer), size);
}

std::unique_ptr<DirectorySearch> Win32FileSystem::FindFirst(const WideString& pattern,
                                                            uint32_t& error) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(W(pattern), &data);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32DirectorySearch>(h, data);
}

uint32_t Win32Registry::CreateKey(const char16_t* path, uint32_t access,
                                  std::unique_ptr<RegistryKey>& out) {
    HKEY key = nullptr;
    LSTATUS r = advapi32().RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  access, nullptr, &key, nullptr);
    if (r == ERROR_SUCCESS) out = std::make_unique<Win32RegistryKey>(key);
    return static_cast<uint32_t>(r);
}

uint32_t Win32Registry::OpenKey(const char16_t* path, uint32_t access,
                                std::unique_ptr<RegistryKey>& out) {
    HKEY key = nullptr;
    LSTATUS r = advapi32().RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, access, &key);
    if (r == ERROR_SUCCESS) out = std::make_unique<Win32RegistryKey>(key);
    return static_cast<uint32_t>(r);
}

bool Win32SystemInfo::GetCommandLineArguments(std::vector<WideString>& out) {
    int count = 0;
    LPWSTR* list = shell32().CommandLineToArgvW(::GetCommandLineW(), &count);
    if (list == nullptr) return false;
    UniqueLocal owner(reinterpret_cast<HLOCAL>(list));
    out.clear();
    for (int i = 0; i < count; ++i) out.emplace_back(U(list[i]));
    return true;
}

bool Win32SystemInfo::IsUserAnAdmin() { return shell32().IsUserAnAdmin() != FALSE; }

uint16_t Win32SystemInfo::GetSystemDefaultUILanguage() { return ::GetSystemDefaultUILanguage(); }

uint32_t Win32SystemInfo::GetLastError() { return ::GetLastError(); }

WideString Win32SystemInfo::GetSystemDirectory() {
    WideString path;
    UINT size = MAX_PATH;
    for (;;) {
        UINT n = ::GetSystemDirectoryW(W(path.Lend(size)), size);
        if (n < size) break;
        size = n + 1;
    }
    path.Commit();
    return path;
}

ModuleHandle Win32SystemInfo::GetModuleHandle(const char16_t* name) {
    return reinterpret_cast<ModuleHandle>(::GetModuleHandleW(W(name)));
}

ModuleHandle Win32SystemInfo::LoadLibrary(const char16_t* name) {
    return reinterpret_cast<ModuleHandle>(LoadSystemLibrary(W(name)));
}

ProcAddress Win32SystemInfo::GetProcAddress(ModuleHandle module, const char* name) {
    return reinterpret_cast<ProcAddress>(
        ::GetProcAddress(reinterpret_cast<HMODULE>(module), name));
}

bool Win32SystemInfo::CallIsWow64Process(ProcAddress entry, bool& wow64) {
    auto f = reinterpret_cast<BOOL(WINAPI*)(HANDLE, PBOOL)>(entry);
    BOOL result = FALSE;
    if (!f(::GetCurrentProcess(), &result)) return false;
    wow64 = result != FALSE;
    return true;
}

std::unique_ptr<ProcessToken> Win32SystemInfo::OpenProcessToken() {
    HANDLE token = nullptr;
    if (!advapi32().OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return nullptr;
    return std::make_unique<Win32ProcessToken>(token);
}

bool Win32SystemInfo::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    return user32().ExitWindowsEx(flags, reason) != FALSE;
}

std::unique_ptr<ChildProcess> Win32Processes::Start(const WideString& commandLine,
                                                    uint32_t& error) {
    std::u16string writable = commandLine.str();  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, W(&writable[0]),
                          nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                          &info)) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32ChildProcess>(info);
}

}  // namespace qv::win32
