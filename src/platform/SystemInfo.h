#pragma once
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

struct LocalTime {
    uint16_t year, month, day, hour, minute, second, milliseconds;
};

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // GetCommandLineW: the whole command line, program path first.
    virtual WideString GetCommandLine() = 0;
    // Whether the process token is a member of the Administrators group (CheckTokenMembership).
    virtual bool IsUserAnAdmin() = 0;
    virtual uint16_t GetSystemDefaultUILanguage() = 0;
    // The language the user interface, and so the resource loader, speaks.
    virtual uint16_t GetUserDefaultUILanguage() = 0;
    // "10.0.19045", as the system reports it whatever the manifest says.
    virtual WideString GetWindowsVersion() = 0;
    // The user's temporary folder with its trailing backslash (the system's own under SYSTEM);
    // empty when there is none.
    virtual WideString GetTempFolder() = 0;
    virtual LocalTime GetLocalTime() = 0;
    // Milliseconds since some moment; for durations.
    virtual uint32_t GetTickCount() = 0;
    // Windows' own text for a system or installer code (FormatMessageW), one line; empty when
    // it has none.
    virtual WideString DescribeError(uint32_t code) = 0;
    // GetSystemDirectoryW, without a trailing backslash.
    virtual WideString GetSystemDirectory() = 0;
    // Whether this 32-bit process runs on 64-bit Windows; false where Windows cannot tell.
    virtual bool IsWow64() = 0;
    // Enables SeShutdownPrivilege in the process token; false unless it is really enabled (a
    // user who lacks it gets a successful AdjustTokenPrivileges that assigned nothing).
    virtual bool EnableShutdownPrivilege() = 0;
    // Whether the process's window station is the interactive one (WSF_VISIBLE): not so for a
    // service, whose ExitWindowsEx may succeed without restarting anything.
    virtual bool IsInteractiveSession() = 0;
    virtual bool ExitWindowsEx(uint32_t flags, uint32_t reason) = 0;
    // InitiateSystemShutdownExW of this machine: no message, no delay, applications forced
    // closed, restart. Answers 0 or the error.
    virtual uint32_t InitiateSystemShutdown(uint32_t reason) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

}  // namespace qv
