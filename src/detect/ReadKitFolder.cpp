#include "detect/ReadKitFolder.h"

#include <algorithm>

#include "common/ResultCodes.h"

namespace qv {

WideString ProgramFolder(FileSystem& files) {
    return files.ProgramPath().Folder();
}

namespace {

bool EndsWith(const WideString& name, std::u16string_view extension) {
    std::u16string_view s = name.str();
    return s.size() >= extension.size() &&
           EqualWithoutCase(s.substr(s.size() - extension.size()), extension);
}

// In name order without case; a kit holds a few packages and certificates.
void Insert(std::vector<WideString>& names, const WideString& name) {
    names.push_back(name);
    for (size_t at = names.size() - 1;
         at > 0 && std::lexicographical_compare(names[at].str().begin(), names[at].str().end(),
                                                names[at - 1].str().begin(),
                                                names[at - 1].str().end(), BeforeWithoutCase);
         --at)
        std::swap(names[at], names[at - 1]);
}

}  // namespace

std::vector<WideString> CertificateFiles(const std::vector<WideString>& names,
                                         std::vector<WideString>* lookalikes) {
    std::vector<WideString> byKind[3];
    static const char16_t* const kCertificateKinds[] = {u".cer", u".p7b", u".crt"};
    for (const WideString& name : names) {
        // "root.cer_disabled" and "old.crtx" are no certificate files, whatever their short
        // names end in.
        for (int kind = 0; kind < 3; ++kind) {
            if (EndsWith(name, kCertificateKinds[kind])) {
                Insert(byKind[kind], name);
            } else if (lookalikes && ContainsWithoutCase(name, kCertificateKinds[kind])) {
                Insert(*lookalikes, name);
            }
        }
    }
    std::vector<WideString> certificates;
    for (const std::vector<WideString>& kind : byKind)
        certificates.insert(certificates.end(), kind.begin(), kind.end());
    return certificates;
}

KitFolder ReadKitFolder(FileSystem& files) {
    KitFolder kit;
    kit.folder = ProgramFolder(files);
    std::vector<WideString> names;
    kit.error = files.ListFiles(kit.folder, names);
    for (const WideString& name : names)
        if (EndsWith(name, u".msi")) Insert(kit.packages, name);
    kit.certificates = CertificateFiles(names, &kit.lookalikes);
    return kit;
}

}  // namespace qv
