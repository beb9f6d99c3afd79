#pragma once
// Only kernel32 and msvcrt are imported, because they are bound while the DLL search still
// includes the program's folder. Every other system DLL is loaded from the system directory on
// first use, after wWinMain has locked the search, and every function setup.exe takes from it
// is bound at once, in one style:
//   - a DLL that cannot be loaded ends setup.exe with 126 (ERROR_MOD_NOT_FOUND), a function it
//     lacks with 127 (ERROR_PROC_NOT_FOUND): such a Windows is damaged, and a run that went on
//     without the function could not do what it reports;
//   - the few functions older Windows lacks are looked up with OptionalFunction where they are
//     used, each with its fallback there.
#include "platform/win32/Win32Common.h"

#include <bcrypt.h>
#include <msi.h>
#include <msidefs.h>
#include <msiquery.h>
#include <objbase.h>
#include <sddl.h>
#include <wincrypt.h>

namespace qv::win32 {

[[noreturn]] void MissingSystemDll();
[[noreturn]] void MissingSystemFunction();

inline HMODULE RequiredLibrary(const wchar_t* name) {
    HMODULE module = LoadSystemLibrary(name);
    if (module == nullptr) MissingSystemDll();
    return module;
}

template <typename F>
F Required(HMODULE module, const char* name) {
    F f = OptionalFunction<F>(module, name);
    if (f == nullptr) MissingSystemFunction();
    return f;
}

// One instance per DLL, made on first use.
template <typename Api>
Api& SystemApi() {
    static Api api;
    return api;
}

#define QV_BIND(name) decltype(&::name) name = Required<decltype(&::name)>(module, #name)

struct Msi {
    HMODULE module = RequiredLibrary(L"msi.dll");
    QV_BIND(MsiSetInternalUI);
    QV_BIND(MsiQueryProductStateW);
    QV_BIND(MsiGetProductInfoW);
    QV_BIND(MsiOpenPackageExW);
    QV_BIND(MsiGetPropertyW);
    QV_BIND(MsiEnumRelatedProductsW);
    QV_BIND(MsiGetComponentPathW);
    QV_BIND(MsiSourceListGetInfoW);
    QV_BIND(MsiSourceListClearAllW);
    QV_BIND(MsiSourceListSetInfoW);
    QV_BIND(MsiSourceListEnumSourcesW);
    QV_BIND(MsiSourceListAddSourceExW);
    QV_BIND(MsiOpenDatabaseW);
    QV_BIND(MsiDatabaseOpenViewW);
    QV_BIND(MsiViewExecute);
    QV_BIND(MsiViewFetch);
    QV_BIND(MsiViewClose);
    QV_BIND(MsiCreateRecord);
    QV_BIND(MsiRecordSetStringW);
    QV_BIND(MsiRecordGetStringW);
    QV_BIND(MsiDatabaseCommit);
    QV_BIND(MsiCloseHandle);
    QV_BIND(MsiGetSummaryInformationW);
    QV_BIND(MsiSummaryInfoGetPropertyW);
};

struct Crypt32 {
    HMODULE module = RequiredLibrary(L"crypt32.dll");
    QV_BIND(CertOpenStore);
    QV_BIND(CertCloseStore);
    QV_BIND(CertEnumCertificatesInStore);
    QV_BIND(CertAddCertificateContextToStore);
    QV_BIND(CertGetCertificateContextProperty);
    QV_BIND(CryptQueryObject);
    QV_BIND(CertCreateCertificateContext);
    QV_BIND(CertFreeCertificateContext);
    QV_BIND(CertFindCertificateInStore);
    QV_BIND(CertCompareCertificateName);
    QV_BIND(CryptVerifyCertificateSignatureEx);
    QV_BIND(CertFindExtension);
    QV_BIND(CryptDecodeObjectEx);
    QV_BIND(CryptImportPublicKeyInfoEx2);
};

// Only to let go of the keys CryptImportPublicKeyInfoEx2 hands out.
struct Bcrypt {
    HMODULE module = RequiredLibrary(L"bcrypt.dll");
    QV_BIND(BCryptDestroyKey);
};

struct User32 {
    HMODULE module = RequiredLibrary(L"user32.dll");
    QV_BIND(MessageBoxW);
    QV_BIND(DialogBoxParamW);
    QV_BIND(EndDialog);
    QV_BIND(GetDlgItem);
    QV_BIND(SetDlgItemTextW);
    QV_BIND(CheckDlgButton);
    QV_BIND(IsDlgButtonChecked);
    QV_BIND(ShowWindow);
    QV_BIND(SendMessageW);
    QV_BIND(SetWindowLongW);
    QV_BIND(GetWindowLongW);
    QV_BIND(LoadImageW);
    QV_BIND(DestroyIcon);
    QV_BIND(GetProcessWindowStation);
    QV_BIND(GetUserObjectInformationW);
    QV_BIND(MsgWaitForMultipleObjectsEx);
    QV_BIND(PeekMessageW);
    QV_BIND(TranslateMessage);
    QV_BIND(DispatchMessageW);
};

struct Advapi32 {
    HMODULE module = RequiredLibrary(L"advapi32.dll");
    QV_BIND(RegCreateKeyExW);
    QV_BIND(RegOpenKeyExW);
    QV_BIND(RegDeleteKeyW);
    QV_BIND(RegSetValueExW);
    QV_BIND(RegQueryValueExW);
    QV_BIND(RegCloseKey);
    QV_BIND(OpenProcessToken);
    QV_BIND(LookupPrivilegeValueW);
    QV_BIND(AdjustTokenPrivileges);
    QV_BIND(AllocateAndInitializeSid);
    QV_BIND(FreeSid);
    QV_BIND(CheckTokenMembership);
    QV_BIND(ConvertStringSecurityDescriptorToSecurityDescriptorW);
    QV_BIND(InitiateSystemShutdownExW);
    QV_BIND(CryptAcquireContextW);
    QV_BIND(CryptReleaseContext);
    QV_BIND(CryptCreateHash);
    QV_BIND(CryptHashData);
    QV_BIND(CryptGetHashParam);
    QV_BIND(CryptDestroyHash);
};

struct Ole32 {
    HMODULE module = RequiredLibrary(L"ole32.dll");
    QV_BIND(CoInitializeEx);
    QV_BIND(CoUninitialize);
};

#undef QV_BIND

inline Msi& msi() {
    return SystemApi<Msi>();
}
inline Crypt32& crypt32() {
    return SystemApi<Crypt32>();
}
inline Bcrypt& bcrypt() {
    return SystemApi<Bcrypt>();
}
inline User32& user32() {
    return SystemApi<User32>();
}
inline Advapi32& advapi32() {
    return SystemApi<Advapi32>();
}
inline Ole32& ole32() {
    return SystemApi<Ole32>();
}

inline LSTATUS CloseKey(HKEY key) {
    return advapi32().RegCloseKey(key);
}
inline BOOL CloseStore(HCERTSTORE store) {
    return crypt32().CertCloseStore(store, 0);
}
inline UINT CloseMsiHandle(MSIHANDLE handle) {
    return msi().MsiCloseHandle(handle);
}
using UniqueMsiHandle =
    UniqueAny<NullTraits<MSIHANDLE, decltype(&CloseMsiHandle), &CloseMsiHandle>>;
using UniqueHkey = UniqueAny<NullTraits<HKEY, decltype(&CloseKey), &CloseKey>>;
using UniqueCertStore = UniqueAny<NullTraits<HCERTSTORE, decltype(&CloseStore), &CloseStore>>;
inline BOOL FreeCertificate(PCCERT_CONTEXT certificate) {
    return crypt32().CertFreeCertificateContext(certificate);
}
using UniqueCertificate =
    UniqueAny<NullTraits<PCCERT_CONTEXT, decltype(&FreeCertificate), &FreeCertificate>>;
inline NTSTATUS DestroyKey(BCRYPT_KEY_HANDLE key) {
    return bcrypt().BCryptDestroyKey(key);
}
using UniqueKey = UniqueAny<NullTraits<BCRYPT_KEY_HANDLE, decltype(&DestroyKey), &DestroyKey>>;
inline PVOID ReleaseSid(PSID sid) {
    return advapi32().FreeSid(sid);
}
using UniqueSid = UniqueAny<NullTraits<PSID, decltype(&ReleaseSid), &ReleaseSid>>;
inline BOOL ReleaseProvider(HCRYPTPROV provider) {
    return advapi32().CryptReleaseContext(provider, 0);
}
using UniqueProvider =
    UniqueAny<NullTraits<HCRYPTPROV, decltype(&ReleaseProvider), &ReleaseProvider>>;
inline BOOL DestroyHash(HCRYPTHASH hash) {
    return advapi32().CryptDestroyHash(hash);
}
using UniqueHash = UniqueAny<NullTraits<HCRYPTHASH, decltype(&DestroyHash), &DestroyHash>>;

// The security descriptor an SDDL string describes; false, with the error, when it is invalid.
bool ReadSecurity(const char16_t* sddl, UniqueLocal& descriptor, uint32_t& error);

}  // namespace qv::win32
