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

namespace {

// The record as Begin wrote it: the source list before, then where its run was going.
struct Record {
    SourceList before;
    WideString packageCode, package, product;
    uint64_t steps = 0, process = 0;
};

// False when there is none, or one cut short before it said where its run was going.
bool ReadRecord(Registry& registry, Record& record) {
    std::vector<WideString>& values = record.before.networkSources;
    if (!registry.QueryStrings(kJournal, kTarget, values) || values.size() < 4) return false;
    record.product = values.back();
    values.pop_back();
    record.package = values.back();
    values.pop_back();
    values.pop_back();  // the version, for whoever reads the record
    record.packageCode = values.back();
    values.pop_back();
    registry.QueryQword(kJournal, kSteps, record.steps);
    registry.QueryQword(kJournal, kProcess, record.process);
    return true;
}

}  // namespace

Recovered Recover(Platform& platform, Log& log) {
    Recovered found;
    Registry& registry = platform.registry;
    Record record;
    if (!ReadRecord(registry, record)) {
        registry.DeleteKey(kJournal);
        return found;
    }
    const WideString& product = found.product = record.product;
    Installer& installer = platform.installer;
    LogPiece head = "journal: unfinished ";
    // Nothing is decided while msiexec may still change the product.
    found.busy = !platform.processes.WaitForInstallation(record.process, kInstallationWait);
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
        why = EqualWithoutCase(installed, record.packageCode) ? nullptr : "another PackageCode";
    }
    found.forward = why == nullptr;
    found.certificates = found.forward && (record.steps & kCertificates);
    // Only a product installed before has a source list to put back.
    SourceList& list = record.before;
    std::vector<WideString>& sources = list.networkSources;
    if (!found.forward && !sources.empty() && installer.IsInstalled(product)) {
        list.packageName = sources.back();
        sources.pop_back();
    }
    log.Warning({head, product, " from ", record.package,
                 found.forward ? ": committed" : ": not committed, ", found.forward ? "" : why,
                 "; now: ",
                 found.forward              ? "its steps first"
                 : list.packageName.empty() ? "nothing to do"
                                            : "its source list back to ",
                 list.packageName});
    if (!list.packageName.empty()) {
        if (uint32_t status = installer.RestoreSourceList(product, list))
            log.Error({"source list not put back"}, status);
    }
    // Finished forward, the record goes once the plan has done what it holds.
    if (!found.forward) registry.DeleteKey(kJournal);
    return found;
}

}  // namespace qv
