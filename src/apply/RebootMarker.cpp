#include "apply/RebootMarker.h"

#include "detect/RestartMarker.h"

namespace qv {

uint32_t CreateRebootMarker(Registry& registry, SystemInfo& system) {
    if (uint32_t status = registry.CreateKey(kRebootMarkerPath)) return status;
    // Without its time the marker still counts as due, as one from an older setup.exe.
    registry.SetQword(kRebootMarkerPath, kMarkerWritten, system.SystemTime());
    return 0;
}

bool IsRestartDue(Registry& registry, SystemInfo& system, Log& log) {
    MarkerState state = ReadRestartMarker(registry, system);
    // One without a valid time would be due for ever: stamped now, the restart that follows
    // makes it stale.
    if (state == MarkerState::kUnstamped &&
        registry.SetQword(kRebootMarkerPath, kMarkerWritten, system.SystemTime()) == 0)
        log.Info({"restart marker stamped now"});
    if (state == MarkerState::kStale) {
        uint32_t status = DeleteRebootMarker(registry);
        log.Info({"restart marker written before Windows last started: the restart has happened; ",
                  status == 0 ? "removed" : "not removed"});
    }
    return state == MarkerState::kDue || state == MarkerState::kUnstamped;
}

uint32_t DeleteRebootMarker(Registry& registry) {
    return registry.DeleteKey(kRebootMarkerPath);
}

}  // namespace qv
