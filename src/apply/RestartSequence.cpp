#include "apply/RestartSequence.h"

#include "apply/RebootMarker.h"
#include "common/ResultCodes.h"

namespace qv {

const char kBoxNotShown[] = "box not shown: unattended";

namespace {
constexpr uint32_t kShutdownReasonPlannedInstallation = 0x40000 | 0x2 | 0x80000000;
constexpr int kShutdownRetries = 10;
}  // namespace

bool RestartSystem(Restarter& restarter) {
    if (!restarter.EnableShutdownPrivilege()) return false;
    // Not ExitWindowsEx: it succeeds and restarts nothing for a caller that is not the
    // interactive user (SYSTEM on the user's desktop, credentials typed into an elevation prompt).
    for (int retry = 0;; ++retry) {
        uint32_t error = restarter.InitiateShutdown(kShutdownReasonPlannedInstallation);
        if (error == 0 || error == kErrorShutdownInProgress) return true;
        if ((error != kErrorMachineLocked && error != kErrorNotReady) || retry == kShutdownRetries)
            return false;
        restarter.Sleep(1000);
    }
}

void ApplyContext::RecordRestart(const char* cause) {
    LogPiece why = cause;
    if (uint32_t status = CreateRebootMarker(platform.registry, platform.system)) {
        log.Error({"restart marker (", why, ") not created; the restart is kept in the run"},
                  status);
        restartUnrecorded = true;
        return;
    }
    log.Info({"restart marker created: ", why});
}

namespace {

// Asks as the policy says, then restarts; a restart that cannot be requested stays due.
RestartOutcome RestartNow(ApplyContext& run, RestartPolicy policy) {
    Log& log = run.log;
    if (policy == RestartPolicy::kAsk) {
        std::optional<bool> yes = run.Ask(kMsgRebootNow);
        // A box that cannot be shown answers nothing: the restart stays due, as where nobody
        // sees a window.
        if (!yes) {
            run.RecordRestart(kBoxNotShown);
            return RestartOutcome::kLeftDue;
        }
        if (!*yes) {
            log.Info({"restart declined"});
            return RestartOutcome::kNone;
        }
    }
    // 1641, as msiexec says it: a tool reading 0 would deploy on while the machine goes down.
    if (RestartSystem(run.platform.restarter)) {
        log.Info({"restart requested"});
        return RestartOutcome::kStarted;
    }
    log.Error({"the restart could not be requested"});
    run.RecordRestart("the restart request failed");
    run.Say(kMsgRestartFailed);
    return RestartOutcome::kFailed;
}

}  // namespace

RestartOutcome HandlePendingRestart(ApplyContext& run, RestartPolicy policy) {
    Registry& registry = run.platform.registry;
    Log& log = run.log;
    bool marker = IsRestartDue(registry, run.platform.system, log);
    if (!marker && !run.restartUnrecorded) {
        log.Info({"no restart pending"});
        return RestartOutcome::kNone;
    }
    if (marker) log.Info({"restart marker found"});
    // The caller restarts the machine on its own schedule, as msiexec's 3010 under REBOOT=R
    // tells it; the marker stays until Windows has started again.
    if (policy == RestartPolicy::kLeaveToLaterRun || policy == RestartPolicy::kLeaveToCaller) {
        log.Warning({policy == RestartPolicy::kLeaveToLaterRun
                         ? "-noreboot: a restart is due; it is left to whoever started setup.exe"
                         : "a restart is due; nobody to ask: it is left to whoever started "
                           "setup.exe"});
        return RestartOutcome::kLeftDue;
    }
    // Removed before asking, so a declined restart is not asked for again. A marker that stays
    // would restart the machine on every run: whoever runs setup.exe restarts it once instead.
    if (uint32_t status = DeleteRebootMarker(registry)) {
        if (marker) {
            log.Error({"restart marker not removed; no restart requested"}, status);
            return RestartOutcome::kLeftDue;
        }
    } else {
        log.Info({"restart marker removed"});
    }
    return RestartNow(run, policy);
}

}  // namespace qv
