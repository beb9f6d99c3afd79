#include "driver/PendingRestart.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "reboot/RebootMarker.h"
#include "reboot/Restart.h"

namespace qv {

int HandlePendingRestart(RunState& run, const ToolResult& tool) {
    Platform& platform = run.platform;
    if (tool.ran && tool.code == kErrorSuccessRebootRequired) run.RecordRestart();
    bool marker = IsRebootMarkerPresent(platform.registry);
    if (!marker && !run.restartUnrecorded) return kExitSuccess;
    // The marker tells a later run; without it only the exit code can tell the caller.
    if (run.options.noreboot) return marker ? kExitSuccess : kExitRebootRequired;
    // Removed before asking, so a declined restart is not asked for again.
    DeleteRebootMarker(platform.registry);
    if (!run.options.silent && run.Say(kMsgRebootNow) != kIdYes) return kExitSuccess;
    if (RestartSystem(platform.system)) return kExitSuccess;
    // Still due: the next run offers it again.
    run.RecordRestart();
    run.Say(kMsgRestartFailed);
    return kExitRestartFailed;
}

}  // namespace qv
