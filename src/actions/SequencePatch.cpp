#include "actions/SequencePatch.h"

namespace qv {

void PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log) {
    if (installedCode.empty()) {
        log.Info({u"sequence patch: no product installed to patch"});
        return;
    }
    WideString cached;
    if (uint32_t status = installer.ProductInfo(installedCode, u"LocalPackage", cached).code) {
        log.Warning({u"sequence patch not done: no cached package of ", installedCode, u" (",
                     CodeText(status), u")"});
        return;
    }
    std::vector<SequenceCondition> rows;
    uint32_t status = installer.ReadRemovalActions(cached, rows);
    for (SequenceCondition& row : rows) row.condition = u"Not UPGRADINGPRODUCTCODE";
    if (status == 0) status = installer.WriteConditions(cached, rows);
    if (status != 0) {
        log.Warning({u"sequence patch of ", cached, u" not done (", CodeText(status), u")"});
        return;
    }
    log.Info({u"sequence patch of ", cached, u" done"});
}

}  // namespace qv
