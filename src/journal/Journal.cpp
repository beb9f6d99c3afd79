#include "journal/Journal.h"

#include "common/ResultCodes.h"

namespace qv {

// In the machine's registry, which only administrators may write. Its value "Target":
// the source list the product had before (network sources, package name; none when it was not
// installed) for the undo, then the target: PackageCode ("-" when unread), version, package
// name and ProductCode. "Steps": the steps after msiexec besides the tool (1: the
// certificates). "Msiexec": msiexec's process.
const char16_t kJournal[] = u"HKLM\\Software\\QuorvaneCspSetup\\InProgress";

namespace {

const char16_t kTarget[] = u"Target";
const char16_t kSteps[] = u"Steps";
const char16_t kProcess[] = u"Msiexec";
constexpr uint64_t kCertificates = 1;

// The target, last in the record: PackageCode, version, package name and ProductCode.
void TakeTarget(std::vector<WideString>& record, WideString& product, WideString& name,
                WideString& code) {
    product = record.back();
    record.pop_back();
    name = record.back();
    record.pop_back();
    record.pop_back();  // the version, for whoever reads the record
    code = record.back();
    record.pop_back();
}

}  // namespace

uint32_t JournalEntry::Begin(Installer& installer, const InstallPackage& step, SourceList& before) {
    Registry& registry = registry_;
    const PackageIdentity& package = step.package;
    std::vector<WideString>& record = before.networkSources;
    uint32_t read = installer.ReadSourceList(package.productCode, before);
    // Without it, or one of its network sources, nothing could put the product back as it was.
    if (read != 0 && installer.IsInstalled(package.productCode)) return read;
    if (read == 0 && before.unread != 0) return before.unread;
    size_t sources = record.size();
    if (read == 0) record.push_back(before.packageName);
    record.emplace_back(u"-");  // a list ends at its first empty string
    installer.ReadPackageCode(package.path, record.back());
    record.push_back(package.version);
    record.push_back(package.path.FileName());
    record.push_back(package.productCode);
    if (registry.CreateKey(kJournal) == 0) {
        registry.SetStrings(kJournal, kTarget, record);
        registry.SetQword(kJournal, kSteps, step.root ? kCertificates : 0);
    }
    while (record.size() > sources) record.pop_back();
    return 0;
}

void JournalStarted(Registry& registry, ChildProcess& child) {
    registry.SetQword(kJournal, kProcess, child.Identity());
}

Recovered Recover(Platform& platform, Log& log, bool lookOnly) {
    Recovered found;
    Registry& registry = platform.registry;
    SourceList list;
    std::vector<WideString>& record = list.networkSources;
    if (!registry.QueryStrings(kJournal, kTarget, record) || record.size() < 4) {
        // None, or one cut short before it said where its run was going.
        if (!lookOnly) registry.DeleteKey(kJournal);
        return found;
    }
    WideString& product = found.product;
    WideString name, code;
    TakeTarget(record, product, name, code);
    Installer& installer = platform.installer;
    uint64_t steps = 0, process = 0;
    registry.QueryQword(kJournal, kSteps, steps);
    registry.QueryQword(kJournal, kProcess, process);
    LogPiece head = "journal: unfinished ";
    // Nothing is decided while msiexec may still change the product.
    found.busy = !platform.processes.WaitForInstallation(process, kInstallationWait);
    if (found.busy) {
        log.Error({head, product, ": msiexec runs"});
        return found;
    }
    // msiexec committed when the installed product is the target: its package is installed. The
    // PackageCode names a package exactly; the kit's PackageCodes differ.
    const char* why = "not installed";
    if (installer.IsInstalled(product)) {
        WideString installed;
        installer.ProductInfo(product, u"PackageCode", installed);
        why = EqualWithoutCase(installed, code) ? nullptr : "another PackageCode";
    }
    found.forward = why == nullptr;
    found.certificates = found.forward && (steps & kCertificates);
    // Only a product installed before has a source list to put back.
    if (!found.forward && !record.empty() && installer.IsInstalled(product)) {
        list.packageName = record.back();
        record.pop_back();
    }
    log.Warning({head, product, " from ", name, found.forward ? ": committed" : ": not committed, ",
                 found.forward ? "" : why, lookOnly ? "; would be: " : "; now: ",
                 found.forward              ? "its steps first"
                 : list.packageName.empty() ? "nothing to do"
                                            : "its source list back to ",
                 list.packageName});
    if (lookOnly) {
        found.restoredName = list.packageName;
        return found;
    }
    if (!list.packageName.empty()) {
        if (uint32_t status = installer.RestoreSourceList(product, list))
            log.Error({"source list not put back"}, status);
    }
    // Finished forward, the record goes once the plan has done what it holds.
    if (!found.forward) registry.DeleteKey(kJournal);
    return found;
}

}  // namespace qv
