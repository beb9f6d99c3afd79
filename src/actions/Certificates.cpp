#include "actions/Certificates.h"

#include "packages/FileLookup.h"

namespace qv {
namespace {

void ImportFile(CertificateStores& stores, const WideString& path) {
    std::unique_ptr<CertificateStore> file = stores.OpenFileStore(path);
    if (!file) return;
    std::unique_ptr<CertificateStore> root = stores.OpenMachineRootStore();
    if (!root) return;
    for (CertificateContext c = file->Enumerate(nullptr); c != nullptr; c = file->Enumerate(c))
        root->Add(c);
}

}  // namespace

void ImportRootCertificates(Platform& platform) {
    static const char16_t* const kCertificatePatterns[] = {u"*.cer", u"*.p7b", u"*.crt"};
    WideString folder = ProgramFolder(platform.files);
    for (const char16_t* pattern : kCertificatePatterns) {
        uint32_t error = 0;
        std::unique_ptr<DirectorySearch> search = platform.files.FindFirst(folder + pattern, error);
        if (!search) continue;
        do {
            ImportFile(platform.certificates, folder + search->Name());
        } while (search->Next());
    }
}

}  // namespace qv
