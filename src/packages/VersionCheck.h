#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/MessageIds.h"
#include "common/WideString.h"
#include "packages/PackageIdentity.h"
#include "platform/Installer.h"

namespace qv {

// The installer's order: dot-separated fields compared as decimal numbers (leading zeros
// ignored, a missing field is 0); a field pair that is not both plain numbers is compared code
// unit by code unit. Answers -1, 0 or +1 for `left` against `right`.
int CompareVersions(const WideString& left, const WideString& right);

// Sign of the package's version against the installed product's, in `order`. A failed read
// answers the installer's code and the message for it.
StepResult CompareInstalledVersion(Installer& installer, const WideString& installedCode,
                                   const PackageIdentity& package, int& order, Log& log);

}  // namespace qv
