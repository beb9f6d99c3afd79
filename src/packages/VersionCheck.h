#pragma once
#include <cstdint>

#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// The installer's order: dot-separated fields compared as decimal numbers (leading zeros
// ignored, a missing field is 0); a field pair that is not both plain numbers is compared code
// unit by code unit. Answers -1, 0 or +1 for `left` against `right`.
int CompareVersions(const WideString& left, const WideString& right);

// Sign of the new package's version against the installed product's, in `order`.
StepResult CompareInstalledVersion(Platform& platform, const WideString& installedCode, int& order);

// The new package's ProductName.
StepResult GetNewPackageProductName(Platform& platform, WideString& productName);

}  // namespace qv
