#include "detect/Detect.h"

#include "common/ResultCodes.h"
#include "decide/PackageChoice.h"
#include "detect/Certificates.h"
#include "detect/ReadInstalledProduct.h"
#include "detect/ReadKitFolder.h"
#include "detect/ReadSeal.h"
#include "detect/RestartMarker.h"
#include "model/Choices.h"

namespace qv {
namespace {

// Checks a file of the kit against the seal and holds it open until the run ends; false when
// it is not as sealed, or the seal does not list it (a cabinet planted beside a package). A
// file already read (`read`) is checked by the bytes that will be used.
// `broken` names the first file found not as sealed; once it does, nothing more is checked.
bool CheckSealed(Platform& platform, const Facts& facts, WideString& broken, HeldFiles& held,
                 const WideString& name, Log& log, const CertificateFile* read = nullptr) {
    if (!facts.seal.sealed || !broken.empty()) return broken.empty();
    uint32_t start = platform.system.TickCount();
    const SealedFile* sealed = facts.seal.Find(name);
    FileCheck check;
    check.error = kErrorFileNotFound;
    std::unique_ptr<HeldFile> file;
    if (sealed != nullptr && read != nullptr) {
        check.error = read->error;
        if (read->error == 0) check = CheckBytes(platform.files, read->bytes, *sealed);
    } else if (sealed != nullptr) {
        file = platform.files.Hold(facts.kit.folder + name, check.error);
        if (file) check = CheckFile(platform.files, *file, *sealed);
    }
    if (check.matches) {
        log.Info({"seal: ", name, " as sealed (", Describe(check.size, check.sha256), ") in ",
                  Decimal(platform.system.TickCount() - start), " ms"});
        if (file) held.push_back(std::move(file));
        return true;
    }
    broken = name;
    if (sealed == nullptr) {
        log.Error({"seal: ", name, " is not in the kit's seal"});
    } else if (check.error != 0) {
        log.Error({"seal: ", name, " cannot be read"}, check.error);
    } else {
        log.Error({"seal: ", name, " differs: sealed ", Describe(sealed->size, sealed->sha256),
                   ", found ", Describe(check.size, check.sha256)});
    }
    return false;
}

// Only the packages and certificate files the seal lists count: a planted one changes nothing.
void KeepSealedFiles(Facts& facts, Log& log) {
    for (std::vector<WideString>* names : {&facts.kit.packages, &facts.kit.certificates}) {
        std::vector<WideString> kept;
        for (const WideString& name : *names) {
            if (facts.seal.Find(name)) {
                kept.push_back(name);
            } else {
                log.Warning({"seal: ", name, " is not in the kit's seal; ignored"});
            }
        }
        names->swap(kept);
    }
    // With -root each certificate file of the seal is used: one gone from the folder is found
    // missing when checked, never skipped.
    std::vector<WideString> sealed;
    for (const SealedFile& file : facts.seal.files) sealed.push_back(file.name);
    facts.kit.certificates = CertificateFiles(sealed);
}

// The platform package, opened once: what it is and which installed product it relates to.
// A removal needs no package of the machine's platform: any package of the kit names the
// UpgradeCode.
void IdentifyKit(Platform& platform, Facts& facts, HeldFiles& held, Log& log, bool uninstall) {
    PackageIdentity& package = facts.platformPackage;
    const Architecture order[] = {facts.architecture, Architecture::kX64, Architecture::kWin32,
                                  Architecture::kArm64};
    for (int i = 0; package.path.empty() && i < (uninstall ? 4 : 1); ++i)
        package.path =
            FindPackage(facts.kit, PackagePattern(order[i], Level::kNone, Language::kNone));
    if (package.path.empty()) {
        facts.platformStatus = facts.kit.error != 0 ? facts.kit.error : kErrorFileNotFound;
        return;
    }
    if (!CheckSealed(platform, facts, facts.sealBroken, held, package.path.FileName(), log)) return;
    WideString path = package.path;
    facts.platformStatus = platform.installer.ReadPackageIdentity(path, package);
    package.path = path;
    if (facts.platformStatus != 0) return;
    log.Info({"platform package ", path, ": ProductCode ", package.productCode, ", UpgradeCode ",
              package.upgradeCode, ", version ", package.version, ", name \"", package.name, "\""});
    facts.installed = ReadInstalledProduct(platform.installer, package.upgradeCode, log);
}

// The installed product's level and language, from its package's name as recovery left it,
// else from its cached package. A failure leads the decision to the fresh installation's
// choices.
void ReadInstalledSelection(Platform& platform, Facts& facts, Log& log) {
    const InstalledProduct& installed = facts.installed;
    if (installed.code.empty() || installed.versionRead.Failed()) return;
    facts.installedSelection = DetectInstalledSelection(platform.installer, installed.code, log);
}

// On ARM64 the kit's arm64 packages, else its x64 ones, which run there under emulation.
Architecture PackagePlatform(const Facts& facts) {
    if (facts.machine != Architecture::kArm64 ||
        !FindPackage(facts.kit, PackagePattern(facts.machine, Level::kNone, Language::kNone))
             .empty())
        return facts.machine;
    return Architecture::kX64;
}

}  // namespace

Architecture ReadMachine(SystemInfo& system) {
    constexpr uint16_t kMachineArm64 = 0xAA64;
    uint16_t process = 0, native = 0;
    if (!system.Wow64Machines(process, native))
        return system.IsWow64() ? Architecture::kX64 : Architecture::kWin32;
    if (native == kMachineArm64) return Architecture::kArm64;
    return process != 0 ? Architecture::kX64 : Architecture::kWin32;
}

Facts Detect(Platform& platform, const InstallOptions& options, RunFacts run, HeldFiles& held,
             Log& log) {
    Facts facts;
    static_cast<RunFacts&>(facts) = std::move(run);
    SystemInfo& system = platform.system;
    facts.machine = ReadMachine(system);
    facts.systemLanguage = LanguageOfUi(system.SystemDefaultUiLanguage());
    facts.systemDirectory = system.SystemDirectory();
    facts.kit = ReadKitFolder(platform.files);
    const char* seal = nullptr;
    size_t size = 0;
    if (platform.resources.FindSeal(seal, size)) {
        facts.seal = ReadSeal(seal, size);
        log.Info(
            {"kit sealed: ", Decimal(static_cast<uint32_t>(facts.seal.files.size())), " files"});
        KeepSealedFiles(facts, log);
    } else {
        log.Info({"kit not sealed"});
    }
    facts.architecture = PackagePlatform(facts);
    if (options.root || facts.recovered.certificates)
        facts.certificateFiles = ReadCertificateFiles(platform.files, facts.kit);
    // Checked as read: the bytes checked are the bytes added, by this run's plan or by what a
    // run ended from outside left to do.
    for (const CertificateFile& file : facts.certificateFiles)
        CheckSealed(platform, facts, facts.sealBroken, held, file.name, log, &file);
    IdentifyKit(platform, facts, held, log, options.uninstall);
    if (options.uninstall && facts.platformStatus == 0) {
        for (const WideString& code :
             platform.installer.RelatedProducts(facts.platformPackage.upgradeCode))
            if (platform.installer.IsInstalled(code)) facts.relatedInstalled.push_back(code);
    } else if (facts.platformStatus == 0) {
        ReadInstalledSelection(platform, facts, log);
    }
    MarkerState marker = ReadRestartMarker(platform.registry, platform.system);
    facts.markerPresent = marker == MarkerState::kDue || marker == MarkerState::kUnstamped;
    return facts;
}

void ReadLateFacts(Platform& platform, const FactRequest& request, const Facts& facts,
                   HeldFiles& held, Log& log, LateFacts& late) {
    PackageIdentity package = facts.platformPackage;
    if (!request.package.empty()) {
        PackageRead& read = late.package.emplace();
        read.path = request.package;
        if (CheckSealed(platform, facts, late.sealBroken, held, request.package.FileName(), log))
            read.status = platform.installer.ReadPackageIdentity(request.package, read.identity);
        package = read.identity;
    }
    if (!request.sealedPackage.empty() && late.sealBroken.empty()) {
        const WideString& path = request.sealedPackage;
        std::vector<WideString> cabinets;
        WideString loose;
        // The seal names no file in a sub-folder, where loose files of a package usually lie.
        if (uint32_t status = platform.installer.ReadPackageSources(path, cabinets, loose)) {
            log.Error({"seal: the cabinets of ", path, " cannot be read"}, status);
            late.sealBroken = path.FileName();
        } else if (!loose.empty()) {
            log.Error({"seal: ", path, " reads ", loose,
                       " from outside itself and its cabinets; a sealed kit takes compressed "
                       "packages only"});
            late.sealBroken = path.FileName();
        }
        for (const WideString& cabinet : cabinets)
            CheckSealed(platform, facts, late.sealBroken, held, cabinet, log);
    }
    if (request.installerLog) {
        // Windows' msiexec refuses to install (1622) when it cannot open its log.
        WideString path = Joined({facts.setupLog, ".msiexec.log"});
        uint32_t error = 0;
        if (platform.files.CreateLogFile(path, true, LogSecurity(platform.system), error)) {
            late.msiexecLog = path;
        } else {
            log.Warning({"msiexec's log ", path, " cannot be written (", CodeText(error),
                         "): msiexec writes none"});
        }
    }
    if (request.toolFolder)
        platform.installer.ComponentPath(package.productCode, kToolComponentCode, late.toolFolder);
}

}  // namespace qv
