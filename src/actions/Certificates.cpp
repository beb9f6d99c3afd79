#include "actions/Certificates.h"

#include "packages/FileLookup.h"

namespace qv {
namespace {

void ImportFile(CertificateStores& stores, const WideString& path, Log& log) {
    uint32_t error = 0;
    std::unique_ptr<CertificateStore> file = stores.OpenFileStore(path, error);
    if (!file) {
        log.Warning(
            {u"certificate file ", path, u" skipped: no certificates (", CodeText(error), u")"});
        return;
    }
    std::unique_ptr<CertificateStore> root = stores.OpenMachineRootStore(error);
    if (!root) {
        log.Error({u"certificate file ", path, u" skipped: the Root store cannot be opened"},
                  error);
        return;
    }
    WideString added;
    for (CertificateContext c = file->Enumerate(nullptr); c != nullptr; c = file->Enumerate(c)) {
        if (root->Add(c)) {
            added += u" " + file->Thumbprint(c);
        } else {
            log.Warning({u"certificate ", file->Thumbprint(c), u" of ", path, u" not added"});
        }
    }
    log.Info(
        {u"certificate file ", path, u": added", added.empty() ? WideString(u" none") : added});
}

}  // namespace

void ImportRootCertificates(Platform& platform, Log& log) {
    static const char16_t* const kCertificatePatterns[] = {u"*.cer", u"*.p7b", u"*.crt"};
    WideString folder = ProgramFolder(platform.files);
    for (const char16_t* pattern : kCertificatePatterns) {
        uint32_t error = 0;
        std::unique_ptr<DirectorySearch> search = platform.files.FindFirst(folder + pattern, error);
        if (!search) continue;
        do {
            ImportFile(platform.certificates, folder + search->Name(), log);
        } while (search->Next());
    }
}

}  // namespace qv
