// The helpers every adapter shares.

#include "platform/win32/SystemApis.h"

namespace qv::win32 {

UINT ReadGrowing(WideString& value, ReadCall read, const void* context, bool* first) {
    WideString text;
    // Room from the first call: Wine's msi.dll writes its terminator at buffer[length] even
    // when the buffer is shorter, and may answer success with nothing written.
    DWORD capacity = MAX_PATH;
    for (int call = 0;; ++call) {
        DWORD size = capacity + 1;
        UINT r = read(context, AsWide(text.Lend(capacity)), &size);
        if (r == ERROR_SUCCESS && size > capacity) r = ERROR_MORE_DATA;
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
