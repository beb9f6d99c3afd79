#pragma once
#include <cstdint>

#include "common/WideString.h"

namespace qv {

struct LocalTime {
    uint16_t year, month, day, hour, minute, second, milliseconds;
};

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // GetCommandLineW: the whole command line, program path first.
    virtual WideString CommandLine() = 0;
    // Whether the process token is a member of the Administrators group (CheckTokenMembership).
    virtual bool IsUserAnAdmin() = 0;
    virtual uint16_t SystemDefaultUiLanguage() = 0;
    // The language the user interface, and so the resource loader, speaks.
    virtual uint16_t UserDefaultUiLanguage() = 0;
    // "10.0.19045", as the system reports it whatever the manifest says.
    virtual WideString WindowsVersion() = 0;
    // The user's temporary folder with its trailing backslash (the system's own under SYSTEM);
    // empty when there is none.
    virtual WideString TempFolder() = 0;
    virtual LocalTime Now() = 0;
    // Milliseconds since some moment; for durations.
    virtual uint32_t TickCount() = 0;
    // The system time, UTC, in 100 ns since 1601 (GetSystemTimeAsFileTime).
    virtual uint64_t SystemTime() = 0;
    // Milliseconds since Windows started (GetTickCount64).
    virtual uint64_t Uptime() = 0;
    // Windows' own text for a system or installer code, one line; empty when it has none.
    virtual WideString DescribeError(uint32_t code) = 0;
    // The computer's NetBIOS name, as its domain account is named; empty when unknown.
    virtual WideString ComputerName() = 0;
    // The system directory, without a trailing backslash.
    virtual WideString SystemDirectory() = 0;
    // %SystemRoot%, without a trailing backslash.
    virtual WideString WindowsDirectory() = 0;
    // Whether the process runs as LocalSystem (S-1-5-18).
    virtual bool IsLocalSystem() = 0;
    // IsWow64Process2: this process's machine (0 when it runs natively) and the system's, as
    // IMAGE_FILE_MACHINE_ values. False where Windows lacks it (before 10 1511) or it fails.
    virtual bool Wow64Machines(uint16_t& process, uint16_t& native) = 0;
    // IsWow64Process: whether this 32-bit process runs on 64-bit Windows; false where Windows
    // cannot tell.
    virtual bool IsWow64() = 0;
    // Whether the process's window station is the visible, interactive one (WSF_VISIBLE): not
    // so for a service or a task run as SYSTEM.
    virtual bool IsStationVisible() = 0;
    // The process's Terminal Services session (ProcessIdToSessionId): 0 is the services'
    // session, which no user sees whatever its window station says. 1 when Windows cannot tell.
    virtual uint32_t SessionId() = 0;
};

// The security the logs are created with: as SYSTEM, readable by SYSTEM and administrators only,
// since %SystemRoot%\Logs lets every user read and -args may hold secrets; else the folder's
// (null).
inline const char16_t* LogSecurity(SystemInfo& system) {
    return system.IsLocalSystem() ? u"D:P(A;;FA;;;SY)(A;;FA;;;BA)" : nullptr;
}

}  // namespace qv
