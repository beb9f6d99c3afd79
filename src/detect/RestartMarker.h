#pragma once
// The pending-restart marker: HKCU\Software\NeedBstrReboot in the 32-bit view, its value
// "Written" the system time it was written at.
#include <cstdint>

#include "platform/Registry.h"
#include "platform/SystemInfo.h"

namespace qv {

extern const char16_t kRebootMarkerPath[];
extern const char16_t kMarkerWritten[];

enum class MarkerState : uint8_t {
    kNone,
    kDue,        // written since Windows last started
    kUnstamped,  // due, without a valid time (none, another type, past tomorrow)
    kStale,      // written before Windows last started: the restart has happened
};

MarkerState ReadRestartMarker(Registry& registry, SystemInfo& system);

}  // namespace qv
