#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// Product codes are 38 units in braces; the installer's buffers hold 39.
constexpr uint32_t kProductCodeBuffer = 39;

// The first installed product related to `upgradeCode` (index 0 only).
uint32_t GetRelatedProductCode(Installer& installer, const WideString& upgradeCode,
                               WideString& code);

// Reads the first platform package beside the program: its ProductCode, or with `wantRelated`
// the code of the installed product related to it. On failure `code` keeps its text.
uint32_t GetPackageCode(Platform& platform, bool wantRelated, WideString& code);

}  // namespace qv
