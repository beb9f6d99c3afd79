#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/FileSystem.h"
#include "platform/Installer.h"

namespace qv {

// Product codes are 38 units in braces; the installer's buffers hold 39.
constexpr uint32_t kProductCodeBuffer = 39;

// What one open of a package tells: who it is, what it relates to, its version and name.
struct PackageIdentity {
    WideString path;
    WideString productCode;
    WideString upgradeCode;  // empty when the package has none
    WideString version;
    WideString name;
};

extern const char16_t kIdentityQuery[];

// Reads the package at `path` once, as a read-only database: its ProductCode, UpgradeCode,
// ProductVersion and ProductName from the Property table. Answers the first failing call's
// error; 1620 for a package that names no product.
uint32_t ReadPackageIdentity(Installer& installer, const WideString& path,
                             PackageIdentity& identity);

// The first installed product related to `upgradeCode` (index 0 only).
uint32_t GetRelatedProductCode(Installer& installer, const WideString& upgradeCode,
                               WideString& code);

}  // namespace qv
