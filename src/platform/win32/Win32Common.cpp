// The helpers every adapter shares.

#include "platform/win32/SystemApis.h"

namespace qv::win32 {

void CloseKeepingError(void (*close)(uintptr_t), uintptr_t handle) {
    DWORD error = ::GetLastError();
    close(handle);
    ::SetLastError(error);
}

bool ReadSecurity(const char16_t* sddl, UniqueLocal& descriptor, uint32_t& error) {
    if (advapi32().ConvertStringSecurityDescriptorToSecurityDescriptorW(
            AsWide(sddl), SDDL_REVISION_1, descriptor.put(), nullptr))
        return true;
    error = ::GetLastError();
    return false;
}

}  // namespace qv::win32
