// msi.dll, loaded from the system directory on first use.

#include "platform/win32/Win32Platform.h"

#include <string>

#include <msi.h>
#include <msiquery.h>

namespace qv::win32 {
namespace {

struct MsiApi {
    HMODULE module = LoadSystemLibrary(L"msi.dll");
#define QV_MSI(name) decltype(&::name) name = ProcFrom<decltype(&::name)>(module, #name)
    QV_MSI(MsiSetInternalUI);
    QV_MSI(MsiQueryProductStateW);
    QV_MSI(MsiGetProductInfoW);
    QV_MSI(MsiOpenPackageExW);
    QV_MSI(MsiGetPropertyW);
    QV_MSI(MsiEnumRelatedProductsW);
    QV_MSI(MsiGetComponentPathW);
    QV_MSI(MsiSourceListGetInfoW);
    QV_MSI(MsiSourceListClearAllW);
    QV_MSI(MsiSourceListSetInfoW);
    QV_MSI(MsiOpenDatabaseW);
    QV_MSI(MsiDatabaseOpenViewW);
    QV_MSI(MsiViewExecute);
    QV_MSI(MsiDatabaseCommit);
    QV_MSI(MsiCloseHandle);
#undef QV_MSI
};

MsiApi& Api() {
    static MsiApi api;
    return api;
}

// What a call answers when msi.dll or the export is missing.
constexpr UINT kMissing = ERROR_PROC_NOT_FOUND;

}  // namespace

#define QV_CALL(name, ...) (Api().name ? Api().name(__VA_ARGS__) : kMissing)

void Win32Installer::SetInternalUI(int level) {
    if (Api().MsiSetInternalUI) Api().MsiSetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr);
}

int Win32Installer::QueryProductState(const char16_t* product) {
    return Api().MsiQueryProductStateW ? Api().MsiQueryProductStateW(W(product))
                                       : INSTALLSTATE_UNKNOWN;
}

uint32_t Win32Installer::GetProductInfo(const char16_t* product, const char16_t* attribute,
                                        char16_t* buffer, uint32_t* length) {
    DWORD n = *length;
    UINT r = QV_CALL(MsiGetProductInfoW, W(product), W(attribute), W(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) {
    // The installer keeps the path in a MAX_PATH buffer (Wine's overruns it): refuse instead.
    if (std::char_traits<char16_t>::length(path) >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;
    MSIHANDLE h = 0;
    UINT r = QV_CALL(MsiOpenPackageExW, W(path), options, &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                                     uint32_t* length) {
    DWORD n = *length;
    UINT r = QV_CALL(MsiGetPropertyW, package, W(name), W(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                             char16_t* buffer) {
    return QV_CALL(MsiEnumRelatedProductsW, W(upgradeCode), 0, index, W(buffer));
}

int Win32Installer::GetComponentPath(const char16_t* product, const char16_t* component,
                                     char16_t* buffer, uint32_t* length) {
    if (!Api().MsiGetComponentPathW) return INSTALLSTATE_UNKNOWN;
    DWORD n = *length;
    INSTALLSTATE s = Api().MsiGetComponentPathW(W(product), W(component), W(buffer), &n);
    *length = n;
    return s;
}

uint32_t Win32Installer::SourceListGetInfo(const char16_t* product, uint32_t context,
                                           uint32_t options, const char16_t* property,
                                           char16_t* buffer, uint32_t* length) {
    DWORD n = *length;
    UINT r = QV_CALL(MsiSourceListGetInfoW, W(product), nullptr,
                     static_cast<MSIINSTALLCONTEXT>(context), options, W(property), W(buffer), &n);
    *length = n;
    return r;
}

uint32_t Win32Installer::SourceListClearAll(const char16_t* product) {
    return QV_CALL(MsiSourceListClearAllW, W(product), nullptr, 0);
}

uint32_t Win32Installer::SourceListSetInfo(const char16_t* product, uint32_t context,
                                           uint32_t options, const char16_t* property,
                                           const char16_t* value) {
    return QV_CALL(MsiSourceListSetInfoW, W(product), nullptr,
                   static_cast<MSIINSTALLCONTEXT>(context), options, W(property), W(value));
}

uint32_t Win32Installer::OpenDatabase(const char16_t* path, uint32_t persist, MsiHandle* out) {
    MSIHANDLE h = 0;
    UINT r = QV_CALL(MsiOpenDatabaseW, W(path),
                     reinterpret_cast<LPCWSTR>(static_cast<ULONG_PTR>(persist)), &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::DatabaseOpenView(MsiHandle database, const char16_t* query,
                                          MsiHandle* out) {
    MSIHANDLE h = 0;
    UINT r = QV_CALL(MsiDatabaseOpenViewW, database, W(query), &h);
    *out = h;
    return r;
}

uint32_t Win32Installer::ViewExecute(MsiHandle view, MsiHandle record) {
    return QV_CALL(MsiViewExecute, view, record);
}

uint32_t Win32Installer::DatabaseCommit(MsiHandle database) {
    return QV_CALL(MsiDatabaseCommit, database);
}

uint32_t Win32Installer::CloseHandle(MsiHandle handle) { return QV_CALL(MsiCloseHandle, handle); }

#undef QV_CALL

}  // namespace qv::win32
