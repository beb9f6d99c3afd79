#include "actions/SequencePatch.h"

#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"

namespace qv {

const char16_t kSequencePatchStatement[] =
    u"UPDATE `InstallExecuteSequence` Set `Condition`='Not UPGRADINGPRODUCTCODE'"
    u"WHERE `Action`='KSProcess' Or `Action`='KSProcess64'";

namespace {

// Answers the first failing call's code, and which call it was.
uint32_t Patch(Installer& installer, const WideString& cached, const char16_t*& step) {
    MsiHandleHolder database(installer);
    step = u"open";
    if (uint32_t status =
            installer.OpenDatabase(cached.c_str(), kMsiDbOpenTransact, database.put()))
        return status;
    MsiHandleHolder view(installer);
    step = u"view";
    if (uint32_t status =
            installer.DatabaseOpenView(database.get(), kSequencePatchStatement, view.put()))
        return status;
    // Without the commit the transacted database drops the change when it is closed.
    step = u"update";
    if (uint32_t status = installer.ViewExecute(view.get(), 0)) return status;
    step = u"commit";
    return installer.DatabaseCommit(database.get());
}

}  // namespace

uint32_t PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log) {
    WideString cached;
    if (uint32_t status = ReadProductInfo(installer, installedCode, u"LocalPackage", cached)) {
        if (installedCode.empty()) {
            log.Info({u"sequence patch: no product installed to patch"});
        } else {
            log.Warning({u"sequence patch not done: no cached package of ", installedCode, u" (",
                         CodeText(status), u")"});
        }
        return 0;
    }
    const char16_t* step = u"";
    if (uint32_t status = Patch(installer, cached, step)) {
        log.Warning({u"sequence patch of ", cached, u" not done: ", step, u" failed (",
                     CodeText(status), u")"});
        return 0;
    }
    log.Info({u"sequence patch of ", cached, u" done"});
    return 0;
}

}  // namespace qv
