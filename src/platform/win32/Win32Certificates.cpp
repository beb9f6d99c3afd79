// crypt32.dll, loaded from the system directory on first use.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

constexpr DWORD kEncodings = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;

class Win32CertificateStore : public CertificateStore {
  public:
    explicit Win32CertificateStore(HCERTSTORE store) : store_(store) {}
    CertificateContext Enumerate(CertificateContext previous) override {
        return crypt32().CertEnumCertificatesInStore(store_.get(),
                                                     static_cast<PCCERT_CONTEXT>(previous));
    }
    WideString Thumbprint(CertificateContext certificate) override {
        BYTE hash[20];
        DWORD size = sizeof(hash);
        if (!crypt32().CertGetCertificateContextProperty(static_cast<PCCERT_CONTEXT>(certificate),
                                                         CERT_SHA1_HASH_PROP_ID, hash, &size))
            return WideString();
        WideString text;
        for (DWORD i = 0; i < size; ++i) {
            text.Append(u"0123456789ABCDEF"[hash[i] >> 4]);
            text.Append(u"0123456789ABCDEF"[hash[i] & 0xF]);
        }
        return text;
    }
    bool Add(CertificateContext certificate) override {
        return crypt32().CertAddCertificateContextToStore(store_.get(),
                                                          static_cast<PCCERT_CONTEXT>(certificate),
                                                          CERT_STORE_ADD_ALWAYS, nullptr) != FALSE;
    }

  private:
    UniqueCertStore store_;
};

std::unique_ptr<CertificateStore> Open(LPCSTR provider, DWORD flags, const void* parameter,
                                       uint32_t& error) {
    HCERTSTORE store = crypt32().CertOpenStore(provider, kEncodings, 0, flags, parameter);
    if (store == nullptr) {
        error = ::GetLastError();
        return nullptr;
    }
    return std::make_unique<Win32CertificateStore>(store);
}

}  // namespace

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenFileStore(const WideString& path,
                                                                        uint32_t& error) {
    return Open(CERT_STORE_PROV_FILENAME_W, 0, AsWide(path), error);
}

std::unique_ptr<CertificateStore> Win32CertificateStores::OpenMachineRootStore(uint32_t& error) {
    return Open(CERT_STORE_PROV_SYSTEM_W, CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root", error);
}

}  // namespace qv::win32
