#include "apply/Journal.h"

#include "apply/InitTool.h"
#include "apply/RebootMarker.h"
#include "common/ResultCodes.h"

namespace qv {
namespace {

// In the machine's registry, which only administrators may write; the key goes when a step is
// done, as steps never overlap. A step's record is a value named after it: for msiexec the
// network sources and the package name of the product's source list, then the product's code.
const char16_t kJournal[] = u"HKLM\\Software\\QuorvaneCspSetup\\InProgress";
const struct {
    const char16_t* name;
    const char* what;  // the step, for the log
    const char* undo;  // what the next run does about it; empty: nothing
} kSteps[] = {
    {u"Patch", "the sequence patch (one transaction)", ""},
    {u"Installer", "msiexec", "its source list back to "},
    {u"Tool", "the tool", "the tool run again"},
};

}  // namespace

uint32_t JournalBegin(Platform& platform, JournalStep step, const WideString& product) {
    if (product.empty()) return 0;
    SourceList sources;
    if (step == JournalStep::kInstaller && platform.installer.ReadSourceList(product, sources) == 0)
        sources.networkSources.push_back(sources.packageName);
    sources.networkSources.push_back(product);
    if (sources.unread) return sources.unread;
    if (platform.registry.CreateKey(kJournal) == 0)
        platform.registry.SetStrings(kJournal, kSteps[static_cast<int>(step)].name,
                                     sources.networkSources);
    return 0;
}

void JournalEnd(Platform& platform) {
    platform.registry.DeleteKey(kJournal);
}

std::pair<WideString, SourceList> Recover(Platform& platform, Log& log, bool lookOnly) {
    std::pair<WideString, SourceList> restored;
    Registry& registry = platform.registry;
    Installer& installer = platform.installer;
    for (const auto& step : kSteps) {
        SourceList record;
        std::vector<WideString>& values = record.networkSources;
        if (!registry.QueryStrings(kJournal, step.name, values) || values.empty()) continue;
        WideString product = values.back();
        values.pop_back();
        bool tool = step.name == kSteps[2].name;
        // Only an installed product has a source list to put back or a tool to run; msiexec's
        // record holds a source list only when the product was installed before.
        bool act = *step.undo && installer.IsInstalled(product) && (tool || !values.empty());
        if (act && !tool) {
            record.packageName = values.back();
            values.pop_back();
            restored = {product, record};
        }
        log.Warning({"journal: a run ended during ", step.what, " of ", product,
                     lookOnly ? "; would be: " : "; now: ", act ? step.undo : "nothing to do",
                     record.packageName});
        if (lookOnly || !act) continue;
        if (tool) {
            if (RunInitTool(platform, product, log).code == kErrorSuccessRebootRequired &&
                CreateRebootMarker(registry, platform.system) == 0)
                log.Info({"restart marker created: the tool asked for a restart"});
        } else if (uint32_t status = installer.RestoreSourceList(product, record)) {
            log.Error({"source list not put back"}, status);
        }
    }
    // Kept by a tool ended again, for the run after.
    if (!lookOnly) registry.DeleteKey(kJournal);
    return restored;
}

}  // namespace qv
