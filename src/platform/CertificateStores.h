#pragma once
#include <memory>

#include "common/WideString.h"

namespace qv {

// A certificate context of an open store, as CertEnumCertificatesInStore hands it out.
using CertificateContext = const void*;

// An open HCERTSTORE; the destructor closes it with flags 0.
class CertificateStore {
  public:
    virtual ~CertificateStore() = default;
    // CertEnumCertificatesInStore: null to start, null when there are no more.
    virtual CertificateContext Enumerate(CertificateContext previous) = 0;
    // CertAddCertificateContextToStore(this, certificate, CERT_STORE_ADD_ALWAYS, nullptr).
    virtual bool Add(CertificateContext certificate) = 0;
    // The certificate's SHA-1 thumbprint in upper-case hexadecimal, as certificate tools show it.
    virtual WideString Thumbprint(CertificateContext certificate) = 0;
};

class CertificateStores {
  public:
    virtual ~CertificateStores() = default;
    // CERT_STORE_PROV_FILENAME_W over the path, X509 | PKCS7 encodings; null on failure, with
    // the error.
    virtual std::unique_ptr<CertificateStore> OpenFileStore(const WideString& path,
                                                            uint32_t& error) = 0;
    // CERT_STORE_PROV_SYSTEM_W "Root" of the local machine; null on failure, with the error.
    virtual std::unique_ptr<CertificateStore> OpenMachineRootStore(uint32_t& error) = 0;
};

}  // namespace qv
