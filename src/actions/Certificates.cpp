#include "actions/Certificates.h"

namespace qv {
namespace {

void ImportFile(CertificateStores& stores, const WideString& path, Log& log) {
    uint32_t error = 0;
    std::unique_ptr<CertificateStore> file = stores.OpenFileStore(path, error);
    if (!file) {
        log.Warning(
            {"certificate file ", path, " skipped: no certificates (", CodeText(error), ")"});
        return;
    }
    std::unique_ptr<CertificateStore> root = stores.OpenMachineRootStore(error);
    if (!root) {
        log.Error({"certificate file ", path, " skipped: the Root store cannot be opened"}, error);
        return;
    }
    WideString added;
    for (CertificateContext c = file->Enumerate(nullptr); c != nullptr; c = file->Enumerate(c)) {
        if (root->Add(c)) {
            added += u" " + file->Thumbprint(c);
        } else {
            log.Warning({"certificate ", file->Thumbprint(c), " of ", path, " not added"});
        }
    }
    log.Info({"certificate file ", path, ": added", added.empty() ? WideString(u" none") : added});
}

}  // namespace

void ImportRootCertificates(CertificateStores& stores, const KitFolder& kit, Log& log) {
    for (const WideString& name : kit.lookalikes)
        log.Info({"certificate ignored: ", name, " does not end in .cer, .p7b or .crt"});
    for (const WideString& name : kit.certificates) ImportFile(stores, kit.folder + name, log);
}

void DescribeCertificates(CertificateStores& stores, const KitFolder& kit,
                          std::vector<WideString>& lines) {
    for (const WideString& name : kit.certificates) {
        uint32_t error = 0;
        std::unique_ptr<CertificateStore> file = stores.OpenFileStore(kit.folder + name, error);
        if (!file) {
            lines.push_back(Joined({"certificate file ", name, ": none (", CodeText(error), ")"}));
            continue;
        }
        for (CertificateContext c = file->Enumerate(nullptr); c != nullptr; c = file->Enumerate(c))
            lines.push_back(
                Joined({"certificate ", file->Thumbprint(c), " of ", name, " to Root"}));
    }
}

}  // namespace qv
