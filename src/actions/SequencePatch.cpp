#include "actions/SequencePatch.h"

#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"

namespace qv {

const char16_t kSequencePatchStatement[] =
    u"UPDATE `InstallExecuteSequence` Set `Condition`='Not UPGRADINGPRODUCTCODE'"
    u"WHERE `Action`='KSProcess' Or `Action`='KSProcess64'";

uint32_t PatchUpgradeSequence(Installer& installer, const WideString& installedCode) {
    WideString cached;
    if (ReadProductInfo(installer, installedCode, u"LocalPackage", cached) != 0) return 0;

    MsiHandleHolder database(installer);
    if (installer.OpenDatabase(cached.c_str(), kMsiDbOpenTransact, database.put()) != 0) return 0;
    MsiHandleHolder view(installer);
    if (installer.DatabaseOpenView(database.get(), kSequencePatchStatement, view.put()) != 0)
        return 0;
    // Without the commit the transacted database drops the change when it is closed.
    if (installer.ViewExecute(view.get(), 0) == 0) installer.DatabaseCommit(database.get());
    view.reset();
    return 0;
}

}  // namespace qv
