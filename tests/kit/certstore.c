/* Reads and fills the machine's trusted root store the way an installer would, so tests can
   check both the certificate files and the store independently of the program under test.
     certstore add <file>   adds every certificate of the file; prints how many
     certstore list         prints the SHA-1 thumbprint of every certificate in the store */
#include <windows.h>
// wincrypt.h builds on the types of windows.h.
#include <wincrypt.h>

#include "kitio.h"

static HCERTSTORE open_root(void) {
    return CertOpenStore(CERT_STORE_PROV_SYSTEM_W, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                         CERT_SYSTEM_STORE_LOCAL_MACHINE, L"Root");
}

static int add(const wchar_t* file) {
    HCERTSTORE source = CertOpenStore(CERT_STORE_PROV_FILENAME_W,
                                      X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, file);
    if (!source) return 3;
    HCERTSTORE root = open_root();
    int added = 0;
    if (root) {
        PCCERT_CONTEXT cert = NULL;
        while ((cert = CertEnumCertificatesInStore(source, cert)) != NULL)
            added += CertAddCertificateContextToStore(root, cert, CERT_STORE_ADD_ALWAYS, NULL);
        CertCloseStore(root, 0);
    }
    CertCloseStore(source, 0);
    wchar_t text[32];
    wsprintfW(text, L"added %d\n", added);
    kit_out(text);
    return root ? 0 : 4;
}

static int list(void) {
    HCERTSTORE root = open_root();
    if (!root) return 4;
    PCCERT_CONTEXT cert = NULL;
    while ((cert = CertEnumCertificatesInStore(root, cert)) != NULL) {
        BYTE hash[20];
        DWORD size = sizeof hash;
        if (!CertGetCertificateContextProperty(cert, CERT_SHA1_HASH_PROP_ID, hash, &size)) continue;
        wchar_t hex[42];
        for (DWORD i = 0; i < size; ++i) wsprintfW(hex + 2 * i, L"%02X", hash[i]);
        lstrcatW(hex, L"\n");
        kit_out(hex);
    }
    CertCloseStore(root, 0);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 3 && !lstrcmpW(argv[1], L"add")) return add(argv[2]);
    if (argc == 2 && !lstrcmpW(argv[1], L"list")) return list();
    kit_out(L"usage: certstore add <file> | list\n");
    return 2;
}
