#pragma once
// The pending-restart marker: HKCU\Software\NeedBstrReboot in the 32-bit view, no values.
#include <cstdint>

#include "platform/Registry.h"

namespace qv {

extern const char16_t kRebootMarkerPath[];

// 0 when the key exists afterwards, else the registry error.
uint32_t CreateRebootMarker(Registry& registry);
bool IsRebootMarkerPresent(Registry& registry);
// Answers the deletion's status.
uint32_t DeleteRebootMarker(Registry& registry);

}  // namespace qv
