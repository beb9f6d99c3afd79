// Files, registry, processes and system information.

#include "common/Log.h"
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

class Win32DirectorySearch : public DirectorySearch {
  public:
    Win32DirectorySearch(HANDLE handle, const WIN32_FIND_DATAW& data)
        : handle_(handle), data_(data) {}
    WideString Name() const override { return WideString(AsUtf16(data_.cFileName)); }
    bool IsDirectory() const override {
        return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    }
    bool Next() override { return ::FindNextFileW(handle_.get(), &data_) != FALSE; }

  private:
    UniqueFind handle_;
    WIN32_FIND_DATAW data_;
};

class Win32ChildProcess : public ChildProcess {
  public:
    explicit Win32ChildProcess(const PROCESS_INFORMATION& info)
        : process_(info.hProcess), thread_(info.hThread) {}
    void WaitForExit() override {
        // This thread owns windows (its boxes', COM's): a message sent to them while msiexec
        // runs must be answered, or whoever sent it waits on us as we wait on msiexec.
        HANDLE process = process_.get();
        DWORD woken;
        // MWMO_INPUTAVAILABLE: messages already in the queue wake it too, not only new ones.
        while ((woken = user32().MsgWaitForMultipleObjectsEx(1, &process, INFINITE, QS_ALLINPUT,
                                                             MWMO_INPUTAVAILABLE)) ==
               WAIT_OBJECT_0 + 1) {
            MSG message;
            while (user32().PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                user32().TranslateMessage(&message);
                user32().DispatchMessageW(&message);
            }
        }
        if (woken != WAIT_OBJECT_0) ::WaitForSingleObject(process, INFINITE);
    }
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

LSTATUS OpenKey(const char16_t* path, uint32_t access, UniqueHkey& key) {
    return advapi32().RegOpenKeyExW(HKEY_CURRENT_USER, AsWide(path), 0, access, key.put());
}

}  // namespace

uint32_t Win32FileSystem::GetModuleFileName(char16_t* buffer, uint32_t size) {
    return ::GetModuleFileNameW(nullptr, AsWide(buffer), size);
}

std::unique_ptr<DirectorySearch> Win32FileSystem::FindFirst(const WideString& pattern,
                                                            uint32_t& error) {
    WIN32_FIND_DATAW data;
    HANDLE h = ::FindFirstFileW(AsWide(pattern), &data);
    if (h == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32DirectorySearch>(h, data);
}

namespace {
class Win32LogFile : public LogFile {
  public:
    explicit Win32LogFile(HANDLE file) : file_(file) {}
    bool Write(const char* bytes, size_t size) override {
        DWORD written = 0;
        return ::WriteFile(file_.get(), bytes, static_cast<DWORD>(size), &written, nullptr) &&
               written == size;
    }

  private:
    UniqueFileHandle file_;
};
}  // namespace

std::unique_ptr<LogFile> Win32FileSystem::CreateLogFile(const WideString& path, bool replace,
                                                        uint32_t& error) {
    // Links are never followed. CREATE_ALWAYS would write through a symbolic link even with
    // FILE_FLAG_OPEN_REPARSE_POINT, so a name to replace is deleted first (a link is deleted, not
    // its target; a junction is a folder and stays) and every file is created new, failing
    // where anything is under the name.
    if (replace) ::DeleteFileW(AsWide(path));
    HANDLE file = ::CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32LogFile>(file);
}

uint32_t Win32Registry::CreateKey(const char16_t* path, uint32_t access) {
    UniqueHkey key;
    return advapi32().RegCreateKeyExW(HKEY_CURRENT_USER, AsWide(path), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), nullptr);
}

uint32_t Win32Registry::OpenKey(const char16_t* path, uint32_t access) {
    UniqueHkey key;
    return win32::OpenKey(path, access, key);
}

uint32_t Win32Registry::DeleteSubKey(const char16_t* parent, uint32_t access,
                                     const char16_t* name) {
    UniqueHkey key;
    if (LSTATUS r = win32::OpenKey(parent, access, key)) return r;
    // RegDeleteKeyExW came with Vista; RegDeleteKeyW does the same in the view the key is in.
    using DeleteEx = LSTATUS(WINAPI*)(HKEY, LPCWSTR, REGSAM, DWORD);
    if (auto deleteEx = OptionalFunction<DeleteEx>(advapi32().module, "RegDeleteKeyExW"))
        return deleteEx(key.get(), AsWide(name), 0, 0);
    return advapi32().RegDeleteKeyW(key.get(), AsWide(name));
}

WideString Win32SystemInfo::GetCommandLine() {
    return WideString(AsUtf16(::GetCommandLineW()));
}

bool Win32SystemInfo::IsUserAnAdmin() {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!advapi32().AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                             DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                             &administrators))
        return false;
    UniqueSid owner(administrators);
    BOOL member = FALSE;
    return advapi32().CheckTokenMembership(nullptr, administrators, &member) && member;
}

uint16_t Win32SystemInfo::GetSystemDefaultUILanguage() {
    return ::GetSystemDefaultUILanguage();
}

uint16_t Win32SystemInfo::GetUserDefaultUILanguage() {
    return ::GetUserDefaultUILanguage();
}

WideString Win32SystemInfo::GetWindowsVersion() {
    // GetVersionExW answers what the manifest lets it; the kernel tells the truth.
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto get = OptionalFunction<RtlGetVersion>(::GetModuleHandleW(L"ntdll"), "RtlGetVersion");
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (get == nullptr || get(&info) != 0) return WideString();
    return Decimal(info.dwMajorVersion) + u"." + Decimal(info.dwMinorVersion) + u"." +
           Decimal(info.dwBuildNumber);
}

WideString Win32SystemInfo::GetTempFolder() {
    // GetTempPath2W answers SYSTEM with a folder only SYSTEM may write in; older Windows lack it.
    using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
    auto get = OptionalFunction<GetTempPath2>(::GetModuleHandleW(L"kernel32"), "GetTempPath2W");
    if (get == nullptr) get = ::GetTempPathW;
    WideString folder;
    DWORD size = MAX_PATH + 1;
    DWORD n = get(size, AsWide(folder.Lend(size)));
    if (n == 0 || n >= size) return WideString();
    folder.Commit();
    return folder;
}

LocalTime Win32SystemInfo::GetLocalTime() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint32_t Win32SystemInfo::GetTickCount() {
    return ::GetTickCount();
}

WideString Win32SystemInfo::DescribeError(uint32_t code) {
    WideString text;
    constexpr DWORD kCapacity = 512;
    DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
        nullptr, code, 0, AsWide(text.Lend(kCapacity)), kCapacity, nullptr);
    if (n == 0) return WideString();
    text.Commit();
    while (!text.empty() && (text[text.size() - 1] == u' ' || text[text.size() - 1] == u'\r' ||
                             text[text.size() - 1] == u'\n'))
        text = text.Left(text.size() - 1);
    return text;
}

WideString Win32SystemInfo::GetSystemDirectory() {
    WideString path;
    UINT size = MAX_PATH;
    for (;;) {
        UINT n = ::GetSystemDirectoryW(AsWide(path.Lend(size)), size);
        if (n < size) break;
        size = n + 1;
    }
    path.Commit();
    return path;
}

bool Win32SystemInfo::IsWow64() {
    // Windows XP before SP2 lacks it, and is then a 32-bit system.
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 =
        OptionalFunction<IsWow64Process>(::GetModuleHandleW(L"kernel32"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow64) && wow64;
}

bool Win32SystemInfo::EnableShutdownPrivilege() {
    UniqueHandle token;
    if (!advapi32().OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                                     token.put()))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!advapi32().LookupPrivilegeValueW(nullptr, SE_SHUTDOWN_NAME,
                                          &privileges.Privileges[0].Luid))
        return false;
    // Succeeds without assigning a privilege the user lacks; only the last error tells.
    if (!advapi32().AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr))
        return false;
    return ::GetLastError() == ERROR_SUCCESS;
}

bool Win32SystemInfo::IsInteractiveSession() {
    USEROBJECTFLAGS flags = {};
    if (!user32().GetUserObjectInformationW(user32().GetProcessWindowStation(), UOI_FLAGS, &flags,
                                            sizeof(flags), nullptr))
        return true;  // as Windows has always been asked, and as the user sees it
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

bool Win32SystemInfo::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    return user32().ExitWindowsEx(flags, reason) != FALSE;
}

uint32_t Win32SystemInfo::InitiateSystemShutdown(uint32_t reason) {
    if (advapi32().InitiateSystemShutdownExW(nullptr, nullptr, 0, TRUE, TRUE, reason))
        return ERROR_SUCCESS;
    return ::GetLastError();
}

void Win32SystemInfo::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

std::unique_ptr<ChildProcess> Win32Processes::Start(const WideString& commandLine,
                                                    uint32_t& error) {
    std::u16string writable = commandLine.str();  // CreateProcessW may write into it
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(nullptr, AsWide(&writable[0]), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info)) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32ChildProcess>(info);
}

namespace {
class Win32InstanceLock : public InstanceLock {
  public:
    explicit Win32InstanceLock(HANDLE mutex) : mutex_(mutex) {}

  private:
    UniqueHandle mutex_;  // the lock is the named object's life
};
}  // namespace

std::unique_ptr<InstanceLock> Win32Processes::LockInstance(const char16_t* name, uint32_t& error) {
    // SYSTEM and administrators own it; everyone may wait on it and see it, so that a second
    // setup.exe of any user in any session finds it.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!advapi32().ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"D:(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100001;;;WD)", SDDL_REVISION_1, &descriptor,
            nullptr)) {
        error = ::GetLastError();
        return nullptr;
    }
    UniqueLocal owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    ::SetLastError(ERROR_SUCCESS);
    HANDLE mutex = ::CreateMutexExW(&attributes, AsWide(name), 0, SYNCHRONIZE);
    error = ::GetLastError();
    if (mutex == nullptr) return nullptr;
    auto lock = std::make_unique<Win32InstanceLock>(mutex);
    if (error == ERROR_ALREADY_EXISTS) return nullptr;  // another's; ours closes with `lock`
    return lock;
}

}  // namespace qv::win32
