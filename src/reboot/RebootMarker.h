#pragma once
// The pending-restart marker: HKCU\Software\NeedBstrReboot in the 32-bit view, no values.
#include <cstdint>

#include "platform/Platform.h"

namespace qv {

extern const char16_t kRebootMarkerPath[];

// 0 when the key exists afterwards, else the registry error.
uint32_t CreateRebootMarker(Registry& registry);
bool IsRebootMarkerPresent(Registry& registry);
// Through RegDeleteKeyExW when the registry API-set module is already loaded, else through
// advapi32's RegDeleteKeyW. Answers the delete's status.
uint32_t DeleteRebootMarker(Registry& registry, SystemInfo& system);

}  // namespace qv
