// crypt32.dll, loaded from the system directory on first use.

#include "platform/win32/Win32Platform.h"

#include <wincrypt.h>

namespace qv::win32 {
namespace {

struct CryptApi {
    HMODULE module = LoadSystemLibrary(L"crypt32.dll");
    decltype(&::CertOpenStore) open = ProcFrom<decltype(&::CertOpenStore)>(module, "CertOpenStore");
    decltype(&::CertCloseStore) close =
        ProcFrom<decltype(&::CertCloseStore)>(module, "CertCloseStore");
    decltype(&::CertEnumCertificatesInStore) enumerate =
        ProcFrom<decltype(&::CertEnumCertificatesInStore)>(module, "CertEnumCertificatesInStore");
    decltype(&::CertAddCertificateContextToStore) add =
        ProcFrom<decltype(&::CertAddCertificateContextToStore)>(
            module, "CertAddCertificateContextToStore");
    bool Ready() const { return open && close && enumerate && add; }
};

CryptApi& Api() {
    static CryptApi api;
    return api;
}

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class Win32CertificateStore : public CertificateStore {
public:
    explicit Win32CertificateStore(HCERTSTORE store) : store_(store) {}
    ~Win32CertificateStore() override { Api().close(store_, 0); }
    CertificateContext Enumerate(CertificateContext previous) override {
        return Api().enumerate(store_, static_cast<PCCERT_CONTEXT>(previous));
    }
    bool Add(CertificateContext certificate) override {
        return Api().add(store_, static_cast<PCCERT_CONTEXT>(certificate), CERT_STORE_ADD_ALWAYS,
                         nullptr) != FALSE;
    }

private:
    HCERTSTORE store_;
};

std::unique_ptr<CertificateStore> Open(LPCSTR provider, DWORD flags, const void* parameter) {
    if (!Api().Ready()) return nullptr;
    HCERTSTORE store = Api().open(provider, kEncodings, 0, flags, parameter);
    if (store == nullptr) return nullptr;
    return std::make_unique<Win32CertificateStore>(store);
}

}  // namespace

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenFileStore(const WideString& path) {
    return Open(CERT_STORE_PROV_FILENAME_W, 0, W(path));
}

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenMachineRootStore() {
    return Open(CERT_STORE_PROV_SYSTEM_W, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

}  // namespace qv::win32
