#pragma once
// The pending-restart marker: HKCU\Software\NeedBstrReboot in the 32-bit view, its value
// "Written" the system time it was written at.
#include <cstdint>

#include "common/Log.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

namespace qv {

extern const char16_t kRebootMarkerPath[];

// 0 when the key exists afterwards, else the registry error; the time is written as well.
uint32_t CreateRebootMarker(Registry& registry, SystemInfo& system);
// Whether a restart is due: the marker is there, and was not written before Windows last
// started. One from before means the restart has happened: it is removed, with a line, unless
// `lookOnly`. One without a valid time (none, another type, past tomorrow) is due, and is
// stamped with the time now unless `lookOnly`: only the restart sequence of a run that changed
// something asks without it.
bool IsRestartDue(Registry& registry, SystemInfo& system, Log& log, bool lookOnly);
// Answers the deletion's status.
uint32_t DeleteRebootMarker(Registry& registry);

}  // namespace qv
