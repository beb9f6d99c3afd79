#include "detect/Certificates.h"

#include <algorithm>
#include <cstring>

namespace qv {
namespace {

// Far more than a bundle of every public root; a larger file is no certificate file.
constexpr size_t kMostCertificateBytes = 1 << 20;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorFileTooLarge = 223;

size_t Find(const std::vector<uint8_t>& bytes, const char* text, size_t from) {
    return std::search(bytes.begin() + from, bytes.end(), text, text + std::strlen(text)) -
           bytes.begin();
}

}  // namespace

CertificateKind KindOf(const Certificate& certificate, bool& unchecked, bool& disagree) {
    // The provider tells of the key, the error of the signature: Wine has RSA yet answers
    // NTE_BAD_ALGID for RSA-PSS. Any other failure is a signature that is not its own (Wine
    // answers 0x13D for one).
    uint32_t check = certificate.selfCheck;
    bool failed = certificate.namesItself && check != 0;
    bool algorithm =
        check == kNteBadAlgid || check == kCryptUnknownAlgo || check == kNteNotSupported;
    unchecked = failed && (!certificate.provider || algorithm);
    disagree = failed && certificate.provider == algorithm;
    const std::vector<uint8_t>& authority = certificate.authorityKeyId;
    if (certificate.namesItself &&
        (check == 0 || (unchecked && (authority.empty() || authority == certificate.keyId))))
        return CertificateKind::kRoot;
    return certificate.ca ? CertificateKind::kIntermediate : CertificateKind::kEndEntity;
}

void PlaceCertificates(CertificateStores& stores, const std::vector<CertificateFile>& files,
                       Log& log) {
    static const char* const kStores[] = {"Root", "CA"};
    for (const CertificateFile& file : files) {
        // A file that could not be read is one empty piece, with the reason.
        for (const auto& [at, size] : CertificatePieces(file.bytes)) {
            std::vector<Certificate> certificates;
            uint32_t error = file.error;
            if (error == 0) error = stores.Decode(file.bytes.data() + at, size, certificates);
            if (error != 0) {
                log.Warning({"certificate file ", file.name, ": no certificate from byte ",
                             Decimal(static_cast<uint32_t>(at)), " (", CodeText(error), ")"});
                continue;
            }
            for (Certificate& certificate : certificates) {
                certificate.file = &file.name;
                WideString which =
                    Joined({"certificate ", certificate.thumbprint, " of ", file.name});
                bool unchecked = false, disagree = false;
                CertificateKind kind = KindOf(certificate, unchecked, disagree);
                // Every disagreement leaves it unchecked: one line tells both.
                if (unchecked)
                    log.Warning({which,
                                 !disagree ? ": this 32-bit process cannot check its signature ("
                                 : certificate.provider
                                     ? ": a provider takes its key, yet its check knows no such "
                                       "algorithm ("
                                     : ": no provider takes its key; its check answered no "
                                       "algorithm error (",
                                 CodeText(certificate.selfCheck), "); its key identifiers decide"});
                if (kind == CertificateKind::kEndEntity) {
                    log.Warning({which, " not added: end-entity"});
                    continue;
                }
                MachineStore store =
                    kind == CertificateKind::kRoot ? MachineStore::kRoot : MachineStore::kCa;
                const char* name = kStores[static_cast<int>(store)];
                uint32_t status = stores.AddToMachine(store, certificate);
                if (status != 0 && status != kCryptExists) {
                    log.Error({which, " not added to ", name}, status);
                    continue;
                }
                log.Info({which, status != 0 ? " already in " : " added to ", name});
            }
        }
    }
}

std::vector<CertificateFile> ReadCertificateFiles(FileSystem& files, const KitFolder& kit) {
    std::vector<CertificateFile> read;
    for (const WideString& name : kit.certificates) {
        CertificateFile& file = read.emplace_back();
        file.name = name;
        std::unique_ptr<HeldFile> held = files.Hold(kit.folder + name, file.error);
        for (size_t before = SIZE_MAX; held && file.error == 0 && file.bytes.size() != before;) {
            before = file.bytes.size();
            if (before > kMostCertificateBytes) {
                file.error = kErrorFileTooLarge;
            } else if (!held->Read(file.bytes, 64 << 10)) {
                file.error = kErrorReadFault;
            }
        }
        if (file.error != 0) file.bytes.clear();
    }
    return read;
}

std::vector<std::pair<size_t, size_t>> CertificatePieces(const std::vector<uint8_t>& bytes) {
    static const char kBegin[] = "-----BEGIN CERTIFICATE-----";
    static const char kEnd[] = "-----END CERTIFICATE-----";
    size_t begin = Find(bytes, kBegin, 0);
    if (begin == bytes.size()) return {{0, bytes.size()}};
    std::vector<std::pair<size_t, size_t>> pieces;
    while (begin < bytes.size()) {
        size_t next = Find(bytes, kBegin, begin + 1);
        size_t end = Find(bytes, kEnd, begin) + sizeof(kEnd) - 1;
        pieces.emplace_back(begin, std::min(end, next) - begin);
        begin = next;
    }
    return pieces;
}

}  // namespace qv
