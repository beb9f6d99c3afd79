#pragma once
#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

// The condition that skips an action when an upgrade removes the product and is the original one
// otherwise, so that a product whose upgrade failed repairs and removes itself as before. One that
// already names UPGRADINGPRODUCTCODE stays as it is.
WideString GuardedCondition(const WideString& condition);

// Makes the installed product's cached package skip KSProcess and KSProcess64 when an upgrade
// removes it. Every failure is logged and leaves the package as it was; the run goes on.
void PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log);

}  // namespace qv
