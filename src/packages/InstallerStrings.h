#pragma once
// The two-call readers of installer string values: ask for the length, then read.
#include <cstdint>

#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

// MsiGetProductInfoW; a failed length query leaves `value` as it was.
uint32_t ReadProductInfo(Installer& installer, const WideString& product, const char16_t* attribute,
                         WideString& value);
// Property of an opened package; anything but 234 on the empty read leaves `value` as it was.
uint32_t ReadPackageProperty(Installer& installer, MsiHandle package, const char16_t* name,
                             WideString& value);
// MsiGetComponentPathW; answers the component's install state.
int ReadComponentPath(Installer& installer, const WideString& product, const char16_t* component,
                      WideString& path);

}  // namespace qv
