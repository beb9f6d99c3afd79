// Files, registry, processes and system information.

#include "common/Log.h"
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

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
    bool ExitCode(uint32_t& code) override {
        DWORD c = 0;
        if (!::GetExitCodeProcess(process_.get(), &c)) return false;
        code = c;
        return true;
    }

  private:
    UniqueHandle process_;
    UniqueHandle thread_;
};

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE | KEY_WOW64_32KEY;

// "HKLM\\" before the path names the machine's key; any other path is the user's. Every path
// setup.exe names is longer than the prefix.
HKEY RootOf(const wchar_t*& path) {
    if (memcmp(path, L"HKLM\\", 5 * sizeof(wchar_t)) != 0) return HKEY_CURRENT_USER;
    path += 5;
    return HKEY_LOCAL_MACHINE;
}

LSTATUS OpenKey(const wchar_t* path, REGSAM access, UniqueHkey& key) {
    HKEY root = RootOf(path);
    return advapi32().RegOpenKeyExW(root, path, 0, access, key.put());
}

}  // namespace

WideString Win32FileSystem::ProgramPath() {
    // A fixed buffer would cut a long path short and search the wrong folder. A path cut short
    // fills the whole buffer: ask again with twice the room.
    WideString path;
    ReadGrowing(path, [](wchar_t* buffer, DWORD* size) -> UINT {
        DWORD room = *size;
        DWORD copied = ::GetModuleFileNameW(nullptr, buffer, room);
        *size = room < MAX_PATH ? MAX_PATH : 2 * room;
        return copied < room && room != 0 ? ERROR_SUCCESS : ERROR_MORE_DATA;
    });
    return path;
}

uint32_t Win32FileSystem::ListFiles(const WideString& folder, std::vector<WideString>& names) {
    WIN32_FIND_DATAW data;
    UniqueFind search(::FindFirstFileW(AsWide(folder + u"*"), &data));
    if (!search) {
        DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;
    }
    do {
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            names.push_back(WideString(AsUtf16(data.cFileName)));
    } while (::FindNextFileW(search.get(), &data));
    return ERROR_SUCCESS;
}

namespace {
class Win32HeldFile : public HeldFile {
  public:
    explicit Win32HeldFile(HANDLE file) : file_(file) {}
    uint64_t Size() override {
        LARGE_INTEGER size = {};
        return ::GetFileSizeEx(file_.get(), &size) ? static_cast<uint64_t>(size.QuadPart) : 0;
    }
    bool Read(std::vector<uint8_t>& bytes, size_t most) override {
        size_t at = bytes.size();
        bytes.resize(at + most);
        DWORD read = 0;
        BOOL ok =
            ::ReadFile(file_.get(), bytes.data() + at, static_cast<DWORD>(most), &read, nullptr);
        bytes.resize(at + (ok ? read : 0));
        return ok != FALSE;
    }

  private:
    UniqueFileHandle file_;
};
}  // namespace

namespace {
// advapi32's CryptoAPI: loaded already, unlike bcrypt.dll, which is no KnownDLL.
class Win32Sha256 : public Sha256 {
  public:
    bool Start() {
        return advapi32().CryptAcquireContextW(&provider_, nullptr, nullptr, PROV_RSA_AES,
                                               CRYPT_VERIFYCONTEXT) &&
               advapi32().CryptCreateHash(provider_, CALG_SHA_256, 0, 0, &hash_);
    }
    ~Win32Sha256() override {
        if (hash_ != 0) advapi32().CryptDestroyHash(hash_);
        if (provider_ != 0) advapi32().CryptReleaseContext(provider_, 0);
    }
    void Add(const uint8_t* bytes, size_t size) override {
        ok_ = ok_ && advapi32().CryptHashData(hash_, bytes, static_cast<DWORD>(size), 0);
    }
    bool Finish(uint8_t (&digest)[32]) override {
        DWORD size = sizeof(digest);
        return ok_ && advapi32().CryptGetHashParam(hash_, HP_HASHVAL, digest, &size, 0) &&
               size == sizeof(digest);
    }

  private:
    HCRYPTPROV provider_ = 0;
    HCRYPTHASH hash_ = 0;
    bool ok_ = true;
};
}  // namespace

std::unique_ptr<Sha256> Win32FileSystem::NewSha256() {
    auto hash = std::make_unique<Win32Sha256>();
    return hash->Start() ? std::move(hash) : nullptr;
}

std::unique_ptr<HeldFile> Win32FileSystem::Hold(const WideString& path, uint32_t& error) {
    // Shared for reading only: the installer reads it too, nobody may change it meanwhile.
    HANDLE file = ::CreateFileW(AsWide(path), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32HeldFile>(file);
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
                                                        const char16_t* security, uint32_t& error) {
    // Links are never followed. CREATE_ALWAYS would write through a symbolic link even with
    // FILE_FLAG_OPEN_REPARSE_POINT, so a name to replace is deleted first (a link is deleted, not
    // its target; a junction is a folder and stays) and every file is created new, failing
    // where anything is under the name.
    if (replace) ::DeleteFileW(AsWide(path));
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (security != nullptr && !advapi32().ConvertStringSecurityDescriptorToSecurityDescriptorW(
                                   AsWide(security), SDDL_REVISION_1, &descriptor, nullptr)) {
        error = ::GetLastError();
        return nullptr;
    }
    UniqueLocal owner(descriptor);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
    HANDLE file =
        ::CreateFileW(AsWide(path), GENERIC_WRITE, FILE_SHARE_READ, &attributes, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32LogFile>(file);
}

uint32_t Win32Registry::CreateKey(const char16_t* path) {
    UniqueHkey key;
    const wchar_t* below = AsWide(path);
    HKEY root = RootOf(below);
    return advapi32().RegCreateKeyExW(root, below, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      kWriteAccess, nullptr, key.put(), nullptr);
}

bool Win32Registry::KeyExists(const char16_t* path) {
    UniqueHkey key;
    return OpenKey(AsWide(path), kReadAccess, key) == ERROR_SUCCESS;
}

uint32_t Win32Registry::SetQword(const char16_t* path, const char16_t* name, uint64_t value) {
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(path), kWriteAccess, key)) return r;
    return advapi32().RegSetValueExW(key.get(), AsWide(name), 0, REG_QWORD,
                                     reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool Win32Registry::QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) {
    UniqueHkey key;
    DWORD type = 0;
    DWORD size = sizeof(value);
    return OpenKey(AsWide(path), kReadAccess, key) == ERROR_SUCCESS &&
           advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_QWORD && size == sizeof(value);
}

uint32_t Win32Registry::SetStrings(const char16_t* path, const char16_t* name,
                                   const std::vector<WideString>& values) {
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(path), kWriteAccess, key)) return r;
    // Each string ends in a null, and the list in one more: the terminator's.
    WideString data;
    for (const WideString& value : values) data.Append(value).Append(u'\0');
    return advapi32().RegSetValueExW(key.get(), AsWide(name), 0, REG_MULTI_SZ,
                                     reinterpret_cast<const BYTE*>(data.c_str()),
                                     static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
}

bool Win32Registry::QueryStrings(const char16_t* path, const char16_t* name,
                                 std::vector<WideString>& values) {
    UniqueHkey key;
    DWORD type = 0, size = 0;
    if (OpenKey(AsWide(path), kReadAccess, key) != ERROR_SUCCESS ||
        advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return false;
    // Two units longer than the value and zeroed: it ends in two nulls, whatever was written.
    WideString data;
    char16_t* text = data.Lend(size / sizeof(char16_t) + 2);
    if (advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type,
                                    reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return false;
    values.clear();
    for (; *text != 0; text += values.back().size() + 1) values.push_back(WideString(text));
    return true;
}

uint32_t Win32Registry::DeleteKey(const char16_t* path) {
    WideString whole(path);
    WideString parent = whole.Folder();
    if (parent.empty()) return ERROR_INVALID_PARAMETER;
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(parent.Left(parent.size() - 1)), kWriteAccess | DELETE, key))
        return r;
    WideString name = whole.FileName();
    // With everything below it: a subkey someone added must not keep the key, and with it a
    // restart on every run. Windows before Vista deletes a key without subkeys only.
    using DeleteTree = LSTATUS(WINAPI*)(HKEY, LPCWSTR);
    if (auto deleteTree = OptionalFunction<DeleteTree>(advapi32().module, "RegDeleteTreeW"))
        return deleteTree(key.get(), AsWide(name));
    return advapi32().RegDeleteKeyW(key.get(), AsWide(name));
}

WideString Win32SystemInfo::CommandLine() {
    return WideString(AsUtf16(::GetCommandLineW()));
}

namespace {

// Whether the process token holds the NT authority's SID of these RIDs. CheckTokenMembership
// counts the token's user as well as its enabled groups.
bool TokenHolds(BYTE count, DWORD first, DWORD second) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID sid = nullptr;
    if (!advapi32().AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0, &sid))
        return false;
    UniqueSid owner(sid);
    BOOL member = FALSE;
    return advapi32().CheckTokenMembership(nullptr, sid, &member) && member;
}

}  // namespace

bool Win32SystemInfo::IsUserAnAdmin() {
    return TokenHolds(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
}

bool Win32SystemInfo::IsLocalSystem() {
    return TokenHolds(1, SECURITY_LOCAL_SYSTEM_RID, 0);
}

WideString Win32SystemInfo::WindowsDirectory() {
    WideString path;
    ReadGrowing(path, [](wchar_t* buffer, DWORD* size) -> UINT {
        UINT n = ::GetSystemWindowsDirectoryW(buffer, *size);
        if (n < *size) return ERROR_SUCCESS;
        *size = n;
        return ERROR_MORE_DATA;
    });
    return path;
}

uint16_t Win32SystemInfo::SystemDefaultUiLanguage() {
    return ::GetSystemDefaultUILanguage();
}

uint16_t Win32SystemInfo::UserDefaultUiLanguage() {
    return ::GetUserDefaultUILanguage();
}

WideString Win32SystemInfo::WindowsVersion() {
    // GetVersionExW answers what the manifest lets it; the kernel tells the truth.
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    auto get = OptionalFunction<RtlGetVersion>(::GetModuleHandleW(L"ntdll"), "RtlGetVersion");
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (get == nullptr || get(&info) != 0) return WideString();
    return Decimal(info.dwMajorVersion) + u"." + Decimal(info.dwMinorVersion) + u"." +
           Decimal(info.dwBuildNumber);
}

WideString Win32SystemInfo::TempFolder() {
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

LocalTime Win32SystemInfo::Now() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

uint32_t Win32SystemInfo::TickCount() {
    return ::GetTickCount();
}

uint64_t Win32SystemInfo::SystemTime() {
    FILETIME time;
    ::GetSystemTimeAsFileTime(&time);
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

uint64_t Win32SystemInfo::Uptime() {
    return ::GetTickCount64();
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

WideString Win32SystemInfo::SystemDirectory() {
    // Too small a buffer gets the size it needs, terminator included.
    WideString path;
    ReadGrowing(path, [](wchar_t* buffer, DWORD* size) -> UINT {
        UINT n = ::GetSystemDirectoryW(buffer, *size);
        if (n < *size) return ERROR_SUCCESS;
        *size = n;
        return ERROR_MORE_DATA;
    });
    return path;
}

bool Win32SystemInfo::Wow64Machines(uint16_t& process, uint16_t& native) {
    using IsWow64Process2 = BOOL(WINAPI*)(HANDLE, USHORT*, USHORT*);
    auto machines =
        OptionalFunction<IsWow64Process2>(::GetModuleHandleW(L"kernel32"), "IsWow64Process2");
    return machines != nullptr && machines(::GetCurrentProcess(), &process, &native);
}

bool Win32SystemInfo::IsWow64() {
    // Windows XP before SP2 lacks it, and is then a 32-bit system.
    using IsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 =
        OptionalFunction<IsWow64Process>(::GetModuleHandleW(L"kernel32"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 != nullptr && isWow64(::GetCurrentProcess(), &wow64) && wow64;
}

bool Win32Restarter::EnableShutdownPrivilege() {
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

bool Win32SystemInfo::IsStationVisible() {
    USEROBJECTFLAGS flags = {};
    if (!user32().GetUserObjectInformationW(user32().GetProcessWindowStation(), UOI_FLAGS, &flags,
                                            sizeof(flags), nullptr))
        return true;  // as Windows has always been asked, and as the user sees it
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

uint32_t Win32SystemInfo::SessionId() {
    DWORD session = 1;
    if (!::ProcessIdToSessionId(::GetCurrentProcessId(), &session)) return 1;
    return session;
}

uint32_t Win32Restarter::InitiateShutdown(uint32_t reason) {
    if (advapi32().InitiateSystemShutdownExW(nullptr, nullptr, 0, TRUE, TRUE, reason))
        return ERROR_SUCCESS;
    return ::GetLastError();
}

void Win32Restarter::Sleep(uint32_t milliseconds) {
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

namespace {

PSECURITY_DESCRIPTOR LockSecurity(const char16_t* security, uint32_t& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!advapi32().ConvertStringSecurityDescriptorToSecurityDescriptorW(
            AsWide(security), SDDL_REVISION_1, &descriptor, nullptr))
        error = ::GetLastError();
    return descriptor;
}

using CreateBoundary = HANDLE(WINAPI*)(LPCWSTR, ULONG);
using AddSidToBoundary = BOOL(WINAPI*)(HANDLE*, PSID);
using DeleteBoundary = VOID(WINAPI*)(HANDLE);
using CreateNamespace = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LPVOID, LPCWSTR);
using OpenNamespace = HANDLE(WINAPI*)(LPVOID, LPCWSTR);
using CloseNamespace = BOOLEAN(WINAPI*)(HANDLE, ULONG);

const wchar_t kNamespace[] = L"QuorvaneCspSetup";

class Win32LockNamespace : public LockNamespace {
  public:
    explicit Win32LockNamespace(HANDLE space) : space_(space) {}
    ~Win32LockNamespace() override {
        // Closed, not destroyed: another run may be opening it.
        auto close = OptionalFunction<CloseNamespace>(::GetModuleHandleW(L"kernel32"),
                                                      "ClosePrivateNamespace");
        if (close) close(space_, 0);
    }

  private:
    HANDLE space_;
};

// The boundary of the Administrators group, and what `use` makes of it. Where Windows has no
// private namespaces (before Vista; Wine's boundary descriptors are NULL and adding a SID to one
// ends the process) nothing more is called.
template <typename Use>
std::unique_ptr<LockNamespace> WithBoundary(uint32_t& error, Use use) {
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    auto create = OptionalFunction<CreateBoundary>(kernel, "CreateBoundaryDescriptorW");
    auto add = OptionalFunction<AddSidToBoundary>(kernel, "AddSIDToBoundaryDescriptor");
    auto remove = OptionalFunction<DeleteBoundary>(kernel, "DeleteBoundaryDescriptor");
    HANDLE boundary = create && add && remove ? create(kNamespace, 0) : nullptr;
    if (boundary == nullptr) {
        error = ERROR_NOT_SUPPORTED;
        return nullptr;
    }
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    HANDLE space = nullptr;
    // Each error is taken before anything is freed, which may overwrite it.
    if (!advapi32().AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                             DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                             &administrators)) {
        error = ::GetLastError();
    } else {
        UniqueSid owner(administrators);
        if (add(&boundary, administrators))
            space = use(kernel, boundary);  // sets `error` when it fails
        else
            error = ::GetLastError();
    }
    remove(boundary);
    if (!space) return nullptr;
    error = ERROR_SUCCESS;
    return std::make_unique<Win32LockNamespace>(space);
}

}  // namespace

std::unique_ptr<LockNamespace> Win32Processes::CreateLockNamespace(const char16_t* security,
                                                                   uint32_t& error) {
    return WithBoundary(error, [&](HMODULE kernel, HANDLE boundary) -> HANDLE {
        auto create = OptionalFunction<CreateNamespace>(kernel, "CreatePrivateNamespaceW");
        PSECURITY_DESCRIPTOR descriptor = LockSecurity(security, error);
        UniqueLocal owner(descriptor);
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        HANDLE space = create && descriptor ? create(&attributes, boundary, kNamespace) : nullptr;
        if (!space && descriptor) error = ::GetLastError();  // "already exists": open it instead
        return space;
    });
}

std::unique_ptr<LockNamespace> Win32Processes::OpenLockNamespace(uint32_t& error) {
    return WithBoundary(error, [&](HMODULE kernel, HANDLE boundary) -> HANDLE {
        auto open = OptionalFunction<OpenNamespace>(kernel, "OpenPrivateNamespaceW");
        HANDLE space = open ? open(boundary, kNamespace) : nullptr;
        if (!space) error = ::GetLastError();
        return space;
    });
}

std::unique_ptr<InstanceLock> Win32Processes::LockInstance(const char16_t* name,
                                                           const char16_t* security,
                                                           uint32_t& error, bool look) {
    if (look) {
        UniqueHandle mutex(::OpenMutexW(SYNCHRONIZE, FALSE, AsWide(name)));
        error = mutex ? ERROR_ALREADY_EXISTS : ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
        return nullptr;
    }
    PSECURITY_DESCRIPTOR descriptor = LockSecurity(security, error);
    if (descriptor == nullptr) return nullptr;
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

namespace qv::win32 {

UINT ReadGrowing(WideString& value, ReadCall read, const void* context, bool* first) {
    WideString text;
    DWORD capacity = 0;
    for (int call = 0;; ++call) {
        DWORD size = capacity;
        UINT r = read(context, AsWide(text.Lend(capacity)), &size);
        if (r == ERROR_SUCCESS) {
            text.Commit();
            value = text;
            return r;
        }
        if (first != nullptr) *first = call == 0;
        if (r != ERROR_MORE_DATA || call == 8) return r;
        capacity = size + 1;
    }
}

}  // namespace qv::win32
