#pragma once
#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

extern const char16_t kSequencePatchStatement[];

// Makes the installed product's cached package skip KSProcess and KSProcess64 when an upgrade
// removes it. Every failure is quiet and leaves the package as it was; always answers 0.
uint32_t PatchUpgradeSequence(Installer& installer, const WideString& installedCode, Log& log);

}  // namespace qv
