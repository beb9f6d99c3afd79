#pragma once
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

class SystemInfo {
  public:
    virtual ~SystemInfo() = default;
    // GetCommandLineW: the whole command line, program path first.
    virtual WideString GetCommandLine() = 0;
    // Whether the process token is a member of the Administrators group (CheckTokenMembership).
    virtual bool IsUserAnAdmin() = 0;
    virtual uint16_t GetSystemDefaultUILanguage() = 0;
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
