#include "driver/Detect.h"

#include "common/ResultCodes.h"
#include "reboot/RebootMarker.h"
#include "ui/Messages.h"

namespace qv {
namespace {

// The platform package, opened once: what it is and which installed product it relates to.
void IdentifyKit(Platform& platform, Facts& facts, Log& log) {
    PackageIdentity& package = facts.platformPackage;
    package.path =
        FindPackage(facts.kit, PackagePattern(facts.architecture, Level::kNone, Language::kNone));
    if (package.path.empty()) {
        facts.platformStatus = facts.kit.error != 0 ? facts.kit.error : kErrorFileNotFound;
        return;
    }
    WideString path = package.path;
    facts.platformStatus = platform.installer.ReadPackageIdentity(path, package);
    package.path = path;
    if (facts.platformStatus != 0) return;
    log.Info({"platform package ", path, ": ProductCode ", package.productCode, ", UpgradeCode ",
              package.upgradeCode, ", version ", package.version, ", name \"", package.name, "\""});
    facts.installed = ReadInstalledProduct(platform.installer, package.upgradeCode, log);
}

}  // namespace

Facts Detect(Platform& platform, const InstallOptions& options, Log& log) {
    Facts facts;
    SystemInfo& system = platform.system;
    facts.architecture = system.IsWow64() ? Architecture::kX64 : Architecture::kWin32;
    facts.systemLanguage = LanguageOfUi(system.SystemDefaultUiLanguage());
    facts.systemDirectory = system.SystemDirectory();
    facts.kit = ReadKitFolder(platform.files);
    if (options.root || options.whatif)
        facts.certificateFiles = ReadCertificateFiles(platform.files, facts.kit);
    IdentifyKit(platform, facts, log);
    if (options.uninstall && facts.platformStatus == 0) {
        for (const WideString& code :
             platform.installer.RelatedProducts(facts.platformPackage.upgradeCode))
            if (platform.installer.IsInstalled(code)) facts.relatedInstalled.push_back(code);
    }
    if (options.whatif) facts.markerPresent = IsRebootMarkerPresent(platform.registry);
    return facts;
}

void ReadFact(Platform& platform, const FactRequest& request, Facts& facts, Log& log,
              bool lookOnly) {
    if (request.kind == FactRequest::Kind::kInstallerLog) {
        // Windows' msiexec refuses to install (1622) when it cannot open its log.
        WideString path = facts.setupLog + u".msiexec.log";
        uint32_t error = 0;
        if (lookOnly || platform.files.CreateLogFile(path, true, error)) {
            facts.msiexecLog = path;
            return;
        }
        log.Warning({"msiexec's log ", path, " cannot be written (", CodeText(error),
                     "): msiexec writes none"});
        facts.msiexecLog = WideString();
        return;
    }
    if (request.kind == FactRequest::Kind::kInstalledSelection) {
        facts.installedSelection =
            DetectInstalledSelection(platform.installer, facts.installed.code, log);
        // A detection that fails is reported and leads to the fresh installation's choices.
        const StepResult& detection = facts.installedSelection->detection;
        if (detection.Failed()) {
            WideString text;
            LoadMessage(platform.resources, detection.message, text);
            log.Warning({"installed level and language unknown: ", text, " (",
                         CodeText(detection.status), ")"});
        }
        return;
    }
    PackageRead& read = facts.installing.emplace();
    read.path = request.path;
    read.status = platform.installer.ReadPackageIdentity(request.path, read.identity);
}

}  // namespace qv
