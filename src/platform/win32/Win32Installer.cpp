// msi.dll, loaded from the system directory on first use.

#include <string>

#include "common/ExitCodes.h"
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {

// The installer keeps a package's path in a MAX_PATH buffer (Wine's overruns it): refused
// instead.
static bool TooLong(const char16_t* path) {
    return std::char_traits<char16_t>::length(path) >= MAX_PATH;
}

// The installer's API asks for COM on the calling thread, which shows windows: an apartment,
// entered before the first call and left with the adapter.
Msi& Win32Installer::Api() {
    if (!apartmentEntered_) {
        apartmentEntered_ = true;
        leaveApartment_ = SUCCEEDED(ole32().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    return msi();
}

Win32Installer::~Win32Installer() {
    if (leaveApartment_) ole32().CoUninitialize();
}

void Win32Installer::SetInternalUI(int level) {
    Api().MsiSetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr);
}

int Win32Installer::QueryProductState(const char16_t* product) {
    return Api().MsiQueryProductStateW(AsWide(product));
}

uint32_t Win32Installer::GetProductInfo(const char16_t* product, const char16_t* attribute,
                                        char16_t* buffer, uint32_t* length) {
    DWORD n = *length;
    UINT r = Api().MsiGetProductInfoW(AsWide(product), AsWide(attribute), AsWide(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) {
    if (TooLong(path)) return kExitPathTooLong;
    MSIHANDLE h = 0;
    UINT r = Api().MsiOpenPackageExW(AsWide(path), options, &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                                     uint32_t* length) {
    DWORD n = *length;
    UINT r = Api().MsiGetPropertyW(package, AsWide(name), AsWide(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                             char16_t* buffer) {
    return Api().MsiEnumRelatedProductsW(AsWide(upgradeCode), 0, index, AsWide(buffer));
}

int Win32Installer::GetComponentPath(const char16_t* product, const char16_t* component,
                                     char16_t* buffer, uint32_t* length) {
    DWORD n = *length;
    INSTALLSTATE s =
        Api().MsiGetComponentPathW(AsWide(product), AsWide(component), AsWide(buffer), &n);
    *length = n;
    return s;
}

uint32_t Win32Installer::SourceListGetInfo(const char16_t* product, uint32_t context,
                                           uint32_t options, const char16_t* property,
                                           char16_t* buffer, uint32_t* length) {
    DWORD n = *length;
    UINT r = Api().MsiSourceListGetInfoW(AsWide(product), nullptr,
                                         static_cast<MSIINSTALLCONTEXT>(context), options,
                                         AsWide(property), AsWide(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::SourceListClearAll(const char16_t* product) {
    return Api().MsiSourceListClearAllW(AsWide(product), nullptr, 0);
}

uint32_t Win32Installer::SourceListSetInfo(const char16_t* product, uint32_t context,
                                           uint32_t options, const char16_t* property,
                                           const char16_t* value) {
    return Api().MsiSourceListSetInfoW(AsWide(product), nullptr,
                                       static_cast<MSIINSTALLCONTEXT>(context), options,
                                       AsWide(property), AsWide(value));
}

uint32_t Win32Installer::OpenDatabase(const char16_t* path, uint32_t persist, MsiHandle* out) {
    if (TooLong(path)) return kExitPathTooLong;
    MSIHANDLE h = 0;
    UINT r = Api().MsiOpenDatabaseW(AsWide(path),
                                    reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(persist)), &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::DatabaseOpenView(MsiHandle database, const char16_t* query,
                                          MsiHandle* out) {
    MSIHANDLE h = 0;
    UINT r = Api().MsiDatabaseOpenViewW(database, AsWide(query), &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::ViewExecute(MsiHandle view, MsiHandle record) {
    return Api().MsiViewExecute(view, record);
}

uint32_t Win32Installer::ViewFetch(MsiHandle view, MsiHandle* record) {
    MSIHANDLE h = 0;
    UINT r = Api().MsiViewFetch(view, &h);
    *record = h;
    return r;
}

uint32_t Win32Installer::RecordGetString(MsiHandle record, uint32_t field, char16_t* buffer,
                                         uint32_t* length) {
    DWORD n = *length;
    UINT r = Api().MsiRecordGetStringW(record, field, AsWide(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::DatabaseCommit(MsiHandle database) {
    return Api().MsiDatabaseCommit(database);
}

uint32_t Win32Installer::CloseHandle(MsiHandle handle) {
    return Api().MsiCloseHandle(handle);
}

}  // namespace qv::win32
