#include "driver/Apply.h"

#include <optional>

#include "apply/Certificates.h"
#include "apply/InstallerInvocation.h"
#include "apply/Journal.h"
#include "apply/ProcessRunner.h"
#include "apply/RebootMarker.h"
#include "apply/Restart.h"
#include "apply/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Choices.h"
#include "ui/Messages.h"

namespace qv {
namespace {

// Asks as the policy says, then restarts; a restart that cannot be requested stays due.
int RestartNow(RunContext& run, RestartPolicy policy) {
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
    return RestartNow(run, policy);
}

namespace {

// Walks the plan's steps, one case a step. A case answers the run's exit code when the run ends
// there.
class Walker {
  public:
    Walker(RunContext& run, const Facts& facts) : run_(run), facts_(facts) {}

    // Each step that changes the installed product is in the journal while it runs, for a run
    // ended from outside to be finished or undone by the next (apply/Journal.h).
    std::optional<int> operator()(const PatchCachedPackage& step) {
        JournalBegin(run_.platform, JournalStep::kPatch, step.installedCode);
        PatchUpgradeSequence(run_.platform.installer, step.installedCode, run_.log);
        JournalEnd(run_.platform);
        return std::nullopt;
    }
    std::optional<int> operator()(const InstallPackage& step) {
        bool restartNeeded = false;
        JournalBegin(run_.platform, JournalStep::kInstaller, step.package.productCode);
        uint32_t status =
            RunInstaller(run_.platform, step.package, step.commandLine, restartNeeded, run_.log);
        JournalEnd(run_.platform);
        if (status) return run_.Fail({status}, {"msiexec failed"});
        // A restart the marker cannot record is kept in the run: the installation succeeded.
        if (restartNeeded) run_.RecordRestart("msiexec asked for a restart");
        return std::nullopt;
    }
    std::optional<int> operator()(const CheckOneProduct& step) {
        if (!run_.platform.installer.IsInstalled(step.before)) return std::nullopt;
        run_.log.Error(
            {"two products: ", step.before, " is still installed beside ", step.after.productCode});
        run_.voice.Say(kMsgAnotherVersionInstalled, step.after.name);
        return kExitAnotherVersion;
    }
    std::optional<int> operator()(const AddCertificates&) {
        ImportCertificates(run_.platform.certificates, facts_.kit, facts_.certificateFiles,
                           run_.log);
        return std::nullopt;
    }
    std::optional<int> operator()(const RunTool& step) {
        JournalBegin(run_.platform, JournalStep::kTool, step.productCode);
        tool_ = RunInitTool(run_.platform, step.productCode, run_.log);
        JournalEnd(run_.platform);
        return std::nullopt;
    }
    // In the order the installer lists them, every one tried whatever the others did: a product
    // left behind by one failure is still removed where it can be. The first failure is the
    // run's.
    std::optional<int> operator()(const Remove& step) {
        uint32_t failed = 0;
        for (size_t i = 0; i < step.commandLines.size(); ++i) {
            const WideString& product = step.products[i];
            uint32_t code = RunAndLog(run_.platform.processes, run_.platform.system, run_.log,
                                      "msiexec", step.commandLines[i]);
            if (IsRebootExitCode(code)) {
                run_.RecordRestart("msiexec asked for a restart");
            } else if (code == kErrorUnknownProduct) {
                // Another removal, or someone else, took it first.
                run_.log.Info({product, " was already gone"});
            } else if (code != 0) {
                run_.log.Error({"the removal of ", product, " failed; it stays installed"}, code);
                if (failed == 0) failed = code;
            }
        }
        if (failed == 0) return std::nullopt;
        return run_.Fail({failed}, {"not every related product was removed"});
    }
    std::optional<int> operator()(const Restart& step) {
        return HandlePendingRestart(run_, step.policy, tool_);
    }

  private:
    RunContext& run_;
    const Facts& facts_;
    ToolResult tool_;
};

}  // namespace

int Apply(RunContext& run, const Plan& plan, const Facts& facts) {
    Walker walker(run, facts);
    for (const Step& step : plan.steps)
        if (std::optional<int> exit = std::visit(walker, step)) return *exit;
    return kExitSuccess;
}

}  // namespace qv
