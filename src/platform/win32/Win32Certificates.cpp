// crypt32.dll, and bcrypt.dll for the keys it hands out: both loaded from the system directory
// on first use.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

WideString Thumbprint(PCCERT_CONTEXT certificate) {
    BYTE hash[20];
    DWORD size = sizeof(hash);
    if (!crypt32().CertGetCertificateContextProperty(certificate, CERT_SHA1_HASH_PROP_ID, hash,
                                                     &size))
        return WideString();
    WideString text;
    for (DWORD i = 0; i < size; ++i) {
        text.Append(u"0123456789ABCDEF"[hash[i] >> 4]);
        text.Append(u"0123456789ABCDEF"[hash[i] & 0xF]);
    }
    return text;
}

// The extension `oid` decoded as `type`, in memory the system allocates for its caller to free
// with LocalFree; null when it is missing or unreadable.
HLOCAL Decoded(PCERT_INFO info, const char* oid, const char* type,
               PCERT_EXTENSION* found = nullptr) {
    Crypt32& api = crypt32();
    PCERT_EXTENSION extension = api.CertFindExtension(oid, info->cExtension, info->rgExtension);
    if (found != nullptr) *found = extension;
    HLOCAL decoded = nullptr;
    DWORD size = 0;
    return extension != nullptr &&
                   api.CryptDecodeObjectEx(X509_ASN_ENCODING, type, extension->Value.pbData,
                                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG,
                                           nullptr, &decoded, &size)
               ? decoded
               : nullptr;
}

Certificate Facts(PCCERT_CONTEXT certificate) {
    Crypt32& api = crypt32();
    Certificate facts;
    facts.encoded.assign(certificate->pbCertEncoded,
                         certificate->pbCertEncoded + certificate->cbCertEncoded);
    facts.thumbprint = Thumbprint(certificate);
    PCERT_INFO info = certificate->pCertInfo;
    void* self = const_cast<CERT_CONTEXT*>(certificate);
    facts.namesItself =
        api.CertCompareCertificateName(X509_ASN_ENCODING, &info->Subject, &info->Issuer);
    if (facts.namesItself && !api.CryptVerifyCertificateSignatureEx(
                                 0, X509_ASN_ENCODING, CRYPT_VERIFY_CERT_SIGN_SUBJECT_CERT, self,
                                 CRYPT_VERIFY_CERT_SIGN_ISSUER_CERT, self, 0, nullptr)) {
        facts.selfCheck = ::GetLastError() != 0 ? ::GetLastError() : E_FAIL;  // never "verified"
        // The system's own way from the key's algorithm and curve to a provider of this process.
        UniqueKey key;
        facts.provider = api.CryptImportPublicKeyInfoEx2(
            X509_ASN_ENCODING, &info->SubjectPublicKeyInfo, CRYPT_OID_INFO_PUBKEY_SIGN_KEY_FLAG,
            nullptr, key.put());
    }
    UniqueLocal constraints(Decoded(info, szOID_BASIC_CONSTRAINTS2, X509_BASIC_CONSTRAINTS2));
    facts.ca = constraints && static_cast<CERT_BASIC_CONSTRAINTS2_INFO*>(constraints.get())->fCA;
    // Asked for its size first: a subject key identifier may be longer than any fixed buffer.
    DWORD size = 0;
    if (api.CertGetCertificateContextProperty(certificate, CERT_KEY_IDENTIFIER_PROP_ID, nullptr,
                                              &size)) {
        facts.keyId.resize(size);
        if (!api.CertGetCertificateContextProperty(certificate, CERT_KEY_IDENTIFIER_PROP_ID,
                                                   facts.keyId.data(), &size))
            size = 0;
        facts.keyId.resize(size);
    }
    // One that cannot be read names some other key: its own bytes.
    PCERT_EXTENSION authority = nullptr;
    UniqueLocal decoded(
        Decoded(info, szOID_AUTHORITY_KEY_IDENTIFIER2, X509_AUTHORITY_KEY_ID2, &authority));
    const CRYPT_DATA_BLOB& named =
        decoded                ? static_cast<CERT_AUTHORITY_KEY_ID2_INFO*>(decoded.get())->KeyId
        : authority != nullptr ? authority->Value
                               : CRYPT_DATA_BLOB{};
    facts.authorityKeyId.assign(named.pbData, named.pbData + named.cbData);
    return facts;
}

}  // namespace

uint32_t Win32CertificateStores::Decode(const uint8_t* bytes, size_t size,
                                        std::vector<Certificate>& certificates) {
    CERT_BLOB blob = {static_cast<DWORD>(size), const_cast<BYTE*>(bytes)};
    HCERTSTORE found = nullptr;
    if (!crypt32().CryptQueryObject(CERT_QUERY_OBJECT_BLOB, &blob, CERT_QUERY_CONTENT_FLAG_ALL,
                                    CERT_QUERY_FORMAT_FLAG_ALL, 0, nullptr, nullptr, nullptr,
                                    &found, nullptr, nullptr))
        return ::GetLastError();
    // Content without certificates (a CRL, a PKCS #10 request, a PFX) comes with no store.
    UniqueCertStore store(found);
    PCCERT_CONTEXT next = nullptr;
    while (store && (next = crypt32().CertEnumCertificatesInStore(found, next)) != nullptr)
        certificates.push_back(Facts(next));
    return certificates.empty() ? kCryptNoMatch : 0;
}

namespace {

// Looks the certificate up in the machine's store, opened to read only, or with `add` to add it
// when it is not there: kCryptExists when it is, else 0 or the error. Looked up first: Wine loses
// a certificate that CERT_STORE_ADD_NEW meets twice in one open store.
uint32_t FindOrAdd(MachineStore which, const Certificate& certificate, bool add) {
    Crypt32& api = crypt32();
    UniqueCertificate context(
        api.CertCreateCertificateContext(X509_ASN_ENCODING, certificate.encoded.data(),
                                         static_cast<DWORD>(certificate.encoded.size())));
    if (!context) return ::GetLastError();
    DWORD flags = CERT_SYSTEM_STORE_LOCAL_MACHINE | (add ? 0 : CERT_STORE_READONLY_FLAG);
    UniqueCertStore store(api.CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, flags,
                                            which == MachineStore::kRoot ? L"Root" : L"CA"));
    if (!store) return ::GetLastError();
    UniqueCertificate present(
        api.CertFindCertificateInStore(store.get(), X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                       CERT_FIND_EXISTING, context.get(), nullptr));
    if (present) return kCryptExists;
    if (!add) return 0;
    return api.CertAddCertificateContextToStore(store.get(), context.get(), CERT_STORE_ADD_NEW,
                                                nullptr)
               ? 0
               : ::GetLastError();
}

}  // namespace

bool Win32CertificateStores::InMachine(MachineStore which, const Certificate& certificate) {
    return FindOrAdd(which, certificate, false) == kCryptExists;
}

uint32_t Win32CertificateStores::AddToMachine(MachineStore which, const Certificate& certificate) {
    return FindOrAdd(which, certificate, true);
}

}  // namespace qv::win32
