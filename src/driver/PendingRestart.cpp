#include "driver/PendingRestart.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "reboot/RebootMarker.h"
#include "reboot/Restart.h"

namespace qv {
namespace {

// Asks unless silent, then restarts; a restart that cannot be requested stays due.
int Restart(RunState& run) {
    Log& log = run.log;
    if (!run.options.silent && run.Say(kMsgRebootNow) != kIdYes) {
        log.Info({u"restart declined"});
        return kExitSuccess;
    }
    if (RestartSystem(run.platform.system)) {
        log.Info({u"restart requested"});
        return kExitSuccess;
    }
    log.Error({u"the restart could not be requested"});
    run.RecordRestart(u"the restart request failed");
    run.Say(kMsgRestartFailed);
    return kExitRestartFailed;
}

}  // namespace

int HandlePendingRestart(RunState& run, const ToolResult& tool) {
    Platform& platform = run.platform;
    Log& log = run.log;
    if (tool.ran && tool.code == kErrorSuccessRebootRequired)
        run.RecordRestart(u"the tool asked for a restart");
    bool marker = IsRebootMarkerPresent(platform.registry);
    if (!marker && !run.restartUnrecorded) {
        log.Info({u"no restart pending"});
        return kExitSuccess;
    }
    if (marker) log.Info({u"restart marker found"});
    // The marker tells a later run; without it only the exit code can tell the caller.
    if (run.options.noreboot) {
        log.Warning({marker ? u"-noreboot: the restart is left to a later run"
                            : u"-noreboot: a restart is due and recorded nowhere"});
        return marker ? kExitSuccess : kExitRebootRequired;
    }
    // Removed before asking, so a declined restart is not asked for again.
    if (uint32_t status = DeleteRebootMarker(platform.registry)) {
        if (marker) log.Warning({u"restart marker not removed (", CodeText(status), u")"});
    } else {
        log.Info({u"restart marker removed"});
    }
    return Restart(run);
}

}  // namespace qv
