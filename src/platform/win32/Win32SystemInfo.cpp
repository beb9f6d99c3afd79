// What the run asks of Windows and of its own process: the command line, the user, languages,
// versions, folders, clocks and error texts.

#include "common/Log.h"
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

// Whether the process token holds the NT authority's SID of these RIDs. CheckTokenMembership
// counts the token's user as well as its enabled groups.
bool TokenHolds(BYTE count, DWORD first, DWORD second) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    UniqueSid sid;
    BOOL member = FALSE;
    return advapi32().AllocateAndInitializeSid(&nt, count, first, second, 0, 0, 0, 0, 0, 0,
                                               sid.put()) &&
           advapi32().CheckTokenMembership(nullptr, sid.get(), &member) && member;
}

// A folder from a call that answers the length it copied or, with too little room, the room it
// needs (terminator included); 0 when it fails.
using FolderCall = UINT (*)(wchar_t* buffer, UINT size);
WideString ReadFolder(FolderCall get) {
    WideString path;
    ReadGrowing(path, [get](wchar_t* buffer, DWORD* size) -> UINT {
        UINT n = get(buffer, *size);
        bool whole = n != 0 && n < *size;
        *size = n;
        if (whole) return ERROR_SUCCESS;
        return n != 0 ? ERROR_MORE_DATA : ERROR_PATH_NOT_FOUND;
    });
    return path;
}

}  // namespace

WideString Win32SystemInfo::CommandLine() {
    return WideString(AsUtf16(::GetCommandLineW()));
}

bool Win32SystemInfo::IsUserAnAdmin() {
    return TokenHolds(2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS);
}

bool Win32SystemInfo::IsLocalSystem() {
    return TokenHolds(1, SECURITY_LOCAL_SYSTEM_RID, 0);
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

WideString Win32SystemInfo::ComputerName() {
    // A NetBIOS name is 15 units at most: the read's first room always holds it.
    WideString name;
    ReadGrowing(name, [](wchar_t* buffer, DWORD* size) -> UINT {
        return ::GetComputerNameW(buffer, size) ? ERROR_SUCCESS : ::GetLastError();
    });
    return name;
}

WideString Win32SystemInfo::SystemDirectory() {
    return ReadFolder(
        [](wchar_t* buffer, UINT size) { return ::GetSystemDirectoryW(buffer, size); });
}

WideString Win32SystemInfo::WindowsDirectory() {
    return ReadFolder(
        [](wchar_t* buffer, UINT size) { return ::GetSystemWindowsDirectoryW(buffer, size); });
}

WideString Win32SystemInfo::TempFolder() {
    return ReadFolder([](wchar_t* buffer, UINT size) -> UINT {
        // GetTempPath2W answers SYSTEM with a folder only SYSTEM may write in; older Windows
        // lack it.
        using GetTempPath2 = DWORD(WINAPI*)(DWORD, LPWSTR);
        auto get = OptionalFunction<GetTempPath2>(::GetModuleHandleW(L"kernel32"), "GetTempPath2W");
        return (get ? get : ::GetTempPathW)(size, buffer);
    });
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
    ReadGrowing(text, [code](wchar_t* buffer, DWORD* size) -> UINT {
        // FormatMessageW tells no length it needs: a guess, then twice the room.
        DWORD room = *size;
        *size = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS |
                                     FORMAT_MESSAGE_MAX_WIDTH_MASK,
                                 nullptr, code, 0, buffer, room, nullptr);
        if (*size != 0) return ERROR_SUCCESS;
        *size = 2 * room;
        DWORD error = ::GetLastError();
        return error == ERROR_INSUFFICIENT_BUFFER ? ERROR_MORE_DATA : error;
    });
    while (!text.empty() && (text[text.size() - 1] == u' ' || text[text.size() - 1] == u'\r' ||
                             text[text.size() - 1] == u'\n'))
        text = text.Left(text.size() - 1);
    return text;
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

}  // namespace qv::win32
