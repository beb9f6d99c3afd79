// The restart: the privilege it needs, and the request.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {

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

uint32_t Win32Restarter::InitiateShutdown(uint32_t reason) {
    if (advapi32().InitiateSystemShutdownExW(nullptr, nullptr, 0, TRUE, TRUE, reason))
        return ERROR_SUCCESS;
    return ::GetLastError();
}

void Win32Restarter::Sleep(uint32_t milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace qv::win32
