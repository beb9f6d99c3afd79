#pragma once
// Writing the pending-restart marker (detect/RestartMarker.h reads it).
#include <cstdint>

#include "common/Log.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

namespace qv {

// 0 when the key exists afterwards, else the registry error; the time is written as well.
uint32_t CreateRebootMarker(Registry& registry, SystemInfo& system);
// Whether a restart is due, for the restart sequence of a run that changed something: one
// written before Windows last started is removed, with a line; one without a valid time is due,
// and is stamped with the time now.
bool IsRestartDue(Registry& registry, SystemInfo& system, Log& log);
// Answers the deletion's status.
uint32_t DeleteRebootMarker(Registry& registry);

}  // namespace qv
