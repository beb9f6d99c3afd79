#include "driver/Apply.h"

#include "actions/Certificates.h"
#include "actions/InstallerInvocation.h"
#include "actions/ProcessRunner.h"
#include "actions/SequencePatch.h"
#include "apply/Journal.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "packages/Choices.h"
#include "reboot/RebootMarker.h"
#include "reboot/Restart.h"
#include "ui/Messages.h"

namespace qv {
namespace {

// Asks as the policy says, then restarts; a restart that cannot be requested stays due.
int Restart(RunContext& run, RestartPolicy policy) {
    Log& log = run.log;
    if (policy == RestartPolicy::kAsk && run.voice.Say(kMsgRebootNow) != kAnswerYes) {
        log.Info({"restart declined"});
        return kExitSuccess;
    }
    if (RestartSystem(run.platform.restarter)) {
        log.Info({"restart requested"});
        return kExitSuccess;
    }
    log.Error({"the restart could not be requested"});
    run.RecordRestart("the restart request failed");
    run.voice.Say(kMsgRestartFailed);
    return kExitRestartFailed;
}

}  // namespace

int HandlePendingRestart(RunContext& run, RestartPolicy policy, const ToolResult& tool) {
    Registry& registry = run.platform.registry;
    Log& log = run.log;
    if (tool.ran && tool.code == kErrorSuccessRebootRequired)
        run.RecordRestart("the tool asked for a restart");
    bool marker = IsRestartDue(registry, run.platform.system, log, false);
    if (!marker && !run.restartUnrecorded) {
        log.Info({"no restart pending"});
        return kExitSuccess;
    }
    if (marker) log.Info({"restart marker found"});
    // The caller restarts the machine on its own schedule, as msiexec's 3010 under REBOOT=R
    // tells it; the marker stays until Windows has started again.
    if (policy == RestartPolicy::kLeaveToLaterRun || policy == RestartPolicy::kLeaveToCaller) {
        log.Warning({policy == RestartPolicy::kLeaveToLaterRun
                         ? "-noreboot: a restart is due; it is left to whoever started setup.exe"
                         : "a restart is due; nobody to ask: it is left to whoever started "
                           "setup.exe"});
        return kExitRebootRequired;
    }
    // Removed before asking, so a declined restart is not asked for again. A marker that stays
    // would restart the machine on every run: whoever runs setup.exe restarts it once instead.
    if (uint32_t status = DeleteRebootMarker(registry)) {
        if (marker) {
            log.Error({"restart marker not removed; no restart requested"}, status);
            return kExitRebootRequired;
        }
    } else {
        log.Info({"restart marker removed"});
    }
    return Restart(run, policy);
}

// Each related product's own removal, in the order the installer lists them, every one tried
// whatever the others did: a product left behind by one failure is still removed where it can
// be. The first failure is the run's.
int ApplyRemoval(RunContext& run, const Plan& plan) {
    uint32_t failed = 0;
    for (size_t i = 0; i < plan.removalCommands.size(); ++i) {
        const WideString& product = plan.removedProducts[i];
        uint32_t code = RunAndLog(run.platform.processes, run.platform.system, run.log, "msiexec",
                                  plan.removalCommands[i]);
        if (IsRebootExitCode(code)) {
            run.RecordRestart("msiexec asked for a restart");
        } else if (code == kErrorUnknownProduct) {
            // Another removal, or someone else, took it first.
            run.log.Info({product, " was already gone"});
        } else if (code != 0) {
            run.log.Error({"the removal of ", product, " failed; it stays installed"}, code);
            if (failed == 0) failed = code;
        }
    }
    if (failed == 0) return HandlePendingRestart(run, plan.restart, ToolResult{});
    return run.Fail({failed}, {"not every related product was removed"});
}

int Apply(RunContext& run, const Plan& plan, const Facts& facts) {
    if (plan.change == Change::kRemove) return ApplyRemoval(run, plan);
    Platform& platform = run.platform;
    // Journal: each step a run ended from outside leaves for the next to finish or undo is
    // recorded before it starts and forgotten when it is done (apply/Journal.h).
    JournalBegin(platform, JournalStep::kPatch, plan.installedCode);  // journal
    PatchUpgradeSequence(platform.installer, plan.installedCode, run.log);
    JournalEnd(platform);  // journal
    bool restartNeeded = false;
    JournalBegin(platform, JournalStep::kInstaller, plan.package.productCode);  // journal
    uint32_t status =
        RunInstaller(platform, plan.package, plan.commandLine, restartNeeded, run.log);
    JournalEnd(platform);  // journal
    if (status) return run.Fail({status}, {"msiexec failed"});
    // A restart the marker cannot record is kept in the run: the installation succeeded.
    if (restartNeeded) run.RecordRestart("msiexec asked for a restart");
    // The installer's upgrade keeps an old product of the same version, or one whose version
    // differs in the fourth field only: two registered providers are no success.
    const WideString& before = plan.installedCode;
    const WideString& after = plan.package.productCode;
    bool other = before.size() != after.size() || !ContainsWithoutCase(before, after.c_str());
    if (!before.empty() && other && platform.installer.IsInstalled(before)) {
        run.log.Error(
            {"two products: ", before, " is still installed beside ", plan.package.productCode});
        run.voice.Say(kMsgAnotherVersionInstalled, plan.package.name);
        return kExitAnotherVersion;
    }
    if (plan.certificates)
        ImportCertificates(platform.certificates, facts.kit, facts.certificateFiles, run.log);
    JournalBegin(platform, JournalStep::kTool, plan.package.productCode);  // journal
    ToolResult tool = RunInitTool(platform, plan.package.productCode, run.log);
    JournalEnd(platform);  // journal
    return HandlePendingRestart(run, plan.restart, tool);
}

}  // namespace qv
