#include "apply/SequencePatch.h"

namespace qv {

WideString GuardedCondition(const WideString& condition) {
    if (ContainsWithoutCase(condition, u"UPGRADINGPRODUCTCODE")) return condition;
    if (condition.empty()) return WideString(u"NOT UPGRADINGPRODUCTCODE");
    return Joined({"(", condition, ") AND NOT UPGRADINGPRODUCTCODE"});
}

void PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log) {
    if (installedCode.empty()) {
        log.Info({"sequence patch: no product installed to patch"});
        return;
    }
    WideString cached;
    if (uint32_t status = installer.ProductInfo(installedCode, u"LocalPackage", cached).code) {
        log.Warning({"sequence patch not done: no cached package of ", installedCode, " (",
                     CodeText(status), ")"});
        return;
    }
    std::vector<SequenceCondition> rows, changed;
    uint32_t status = installer.ReadRemovalActions(cached, rows);
    for (const SequenceCondition& row : rows) {
        WideString guarded = GuardedCondition(row.condition);
        if (guarded != row.condition) changed.push_back({row.action, guarded});
    }
    if (status == 0 && !changed.empty()) status = installer.WriteConditions(cached, changed);
    if (status != 0) {
        log.Warning({"sequence patch of ", cached, " not done (", CodeText(status), ")"});
        return;
    }
    log.Info({"sequence patch of ", cached, changed.empty() ? " already in place" : " done"});
}

}  // namespace qv
