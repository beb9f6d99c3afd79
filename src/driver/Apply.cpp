#include "driver/Apply.h"

#include "actions/Certificates.h"
#include "actions/InstallerInvocation.h"
#include "actions/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "reboot/RebootMarker.h"
#include "reboot/Restart.h"
#include "ui/Messages.h"

namespace qv {
namespace {

// Asks as the policy says, then restarts; a restart that cannot be requested stays due.
int Restart(RunContext& run, RestartPolicy policy, bool stationVisible) {
    Log& log = run.log;
    if (policy == RestartPolicy::kAsk && run.voice.Say(kMsgRebootNow) != kAnswerYes) {
        log.Info({u"restart declined"});
        return kExitSuccess;
    }
    if (RestartSystem(run.platform.restarter, stationVisible)) {
        log.Info({u"restart requested"});
        return kExitSuccess;
    }
    log.Error({u"the restart could not be requested"});
    run.RecordRestart(u"the restart request failed");
    run.voice.Say(kMsgRestartFailed);
    return kExitRestartFailed;
}

}  // namespace

int HandlePendingRestart(RunContext& run, RestartPolicy policy, bool stationVisible,
                         const ToolResult& tool) {
    Registry& registry = run.platform.registry;
    Log& log = run.log;
    if (tool.ran && tool.code == kErrorSuccessRebootRequired)
        run.RecordRestart(u"the tool asked for a restart");
    bool marker = IsRebootMarkerPresent(registry);
    if (!marker && !run.restartUnrecorded) {
        log.Info({u"no restart pending"});
        return kExitSuccess;
    }
    if (marker) log.Info({u"restart marker found"});
    // The marker tells a later run; without it only the exit code can tell the caller.
    if (policy == RestartPolicy::kLeaveToLaterRun) {
        log.Warning({marker ? u"-noreboot: the restart is left to a later run"
                            : u"-noreboot: a restart is due and recorded nowhere"});
        return marker ? kExitSuccess : kExitRebootRequired;
    }
    // Removed before asking, so a declined restart is not asked for again.
    if (uint32_t status = DeleteRebootMarker(registry)) {
        if (marker) log.Warning({u"restart marker not removed (", CodeText(status), u")"});
    } else {
        log.Info({u"restart marker removed"});
    }
    return Restart(run, policy, stationVisible);
}

int Apply(RunContext& run, const Plan& plan, const Facts& facts) {
    Platform& platform = run.platform;
    PatchUpgradeSequence(platform.installer, plan.installedCode, run.log);
    bool restartNeeded = false;
    if (uint32_t status =
            RunInstaller(platform, plan.package, plan.commandLine, restartNeeded, run.log))
        return run.Fail({status}, {u"msiexec failed"});
    // A restart the marker cannot record is kept in the run: the installation succeeded.
    if (restartNeeded) run.RecordRestart(u"msiexec asked for a restart");
    if (plan.certificates) ImportRootCertificates(platform.certificates, facts.kit, run.log);
    ToolResult tool = RunInitTool(platform, plan.package.productCode, run.log);
    return HandlePendingRestart(run, plan.restart, facts.stationVisible, tool);
}

}  // namespace qv
