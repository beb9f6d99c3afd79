// The helpers every adapter shares.

#include "platform/win32/SystemApis.h"

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
