#pragma once
// The two-call readers of installer string values: ask for the length, then read.
#include <cstdint>

#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

// Which of the two calls of a read failed.
enum class ReadStep { kLength, kValue };

// MsiGetProductInfoW; a failed length query leaves `value` as it was. `failed` tells callers
// that report each call's failure apart which one it was.
uint32_t ReadProductInfo(Installer& installer, const WideString& product, const char16_t* attribute,
                         WideString& value, ReadStep* failed = nullptr);
// Property of an opened package; anything but 234 on the empty read leaves `value` as it was.
uint32_t ReadPackageProperty(Installer& installer, MsiHandle package, const char16_t* name,
                             WideString& value);
// A field of a fetched record, in the same way.
uint32_t ReadRecordString(Installer& installer, MsiHandle record, uint32_t field,
                          WideString& value);
// MsiGetComponentPathW; answers the component's install state.
int ReadComponentPath(Installer& installer, const WideString& product, const char16_t* component,
                      WideString& path);

}  // namespace qv
