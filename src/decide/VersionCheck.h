#pragma once
#include "common/WideString.h"

namespace qv {

// The installer's order: dot-separated fields compared as decimal numbers (leading zeros
// ignored, a missing field is 0); a field pair that is not both plain numbers is compared code
// unit by code unit. Answers -1, 0 or +1 for `left` against `right`.
int CompareVersions(const WideString& left, const WideString& right);

// The same order over the first three fields only, as the installer's upgrade compares them.
int CompareUpgradeVersions(const WideString& left, const WideString& right);

}  // namespace qv
