#pragma once
#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

// Makes the installed product's cached package skip KSProcess and KSProcess64 when an upgrade
// removes it. Every failure is logged and leaves the package as it was; the run goes on.
void PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log);

}  // namespace qv
