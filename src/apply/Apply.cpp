#include "apply/Apply.h"

#include "apply/InitTool.h"
#include "apply/InstallerInvocation.h"
#include "apply/ProcessRunner.h"
#include "apply/RestartSequence.h"
#include "apply/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "detect/Certificates.h"
#include "journal/Journal.h"

namespace qv {
namespace {

// Walks the plan's steps, one case a step, each telling what it came to in `outcomes`. A case
// answers false when the run ends there.
class Walker {
  public:
    Walker(ApplyContext& run, const Facts& facts, StepOutcomes& outcomes)
        : run_(run), facts_(facts), outcomes_(outcomes), journal_(run.platform.registry) {}

    bool operator()(const PatchCachedPackage& step) {
        PatchUpgradeSequence(run_.platform.installer, step.installedCode, run_.log);
        return true;
    }
    // From msiexec to the tool the journal holds where the run is going, for a run ended from
    // outside to be finished or undone by the next (journal/Journal.h).
    bool operator()(const InstallPackage& step) {
        bool restartNeeded = false;
        SourceList before;
        if (uint32_t unread = journal_.Begin(run_.platform.installer, step, before)) {
            run_.log.Error({"source list unreadable: not installed"}, unread);
            outcomes_.failed = kErrorBadConfiguration;
            return false;
        }
        if (uint32_t status = RunInstaller(run_.platform, step, before, restartNeeded, run_.log)) {
            journal_.Commit();
            return Failed(status, {"msiexec failed"});
        }
        run_.installed = true;
        // A restart the marker cannot record is kept in the run: the installation succeeded.
        if (restartNeeded) run_.RecordRestart("msiexec asked for a restart");
        return true;
    }
    bool operator()(const CheckOneProduct& step) {
        if (!run_.platform.installer.IsInstalled(step.before)) return true;
        run_.log.Error(
            {"two products: ", step.before, " is still installed beside ", step.after.productCode});
        run_.Say(kMsgAnotherVersionInstalled, step.after.name);
        outcomes_.twoProducts = true;
        return false;
    }
    bool operator()(const AddCertificates&) {
        ImportCertificates(run_.platform.certificates, facts_.kit, facts_.certificateFiles,
                           run_.log);
        return true;
    }
    // A tool past its limit keeps the record: the next run runs it again.
    bool operator()(const RunTool& step) {
        ToolResult tool = RunInitTool(run_.platform, step.productCode, step.seconds, run_.log);
        if (tool.code == kStillActive)
            return Failed(kExitToolTimeout, {"-tooltimeout ", Decimal(step.seconds), " s"});
        journal_.Commit();
        if (tool.code == kErrorSuccessRebootRequired)
            run_.RecordRestart("the tool asked for a restart");
        return true;
    }
    // In the order the installer lists them, every one tried whatever the others did: a product
    // left behind by one failure is still removed where it can be. The first failure is the
    // run's. A tool left to do goes with its product.
    bool operator()(const Remove& step) {
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
        if (failed == 0) {
            journal_.Commit();
            return true;
        }
        return Failed(failed, {"not every related product was removed"});
    }
    bool operator()(const Restart& step) {
        outcomes_.restart = HandlePendingRestart(run_, step.policy);
        return true;
    }

  private:
    bool Failed(uint32_t status, LogLine what) {
        run_.log.Error(what, status);
        outcomes_.failed = status;
        return false;
    }

    ApplyContext& run_;
    const Facts& facts_;
    StepOutcomes& outcomes_;
    JournalEntry journal_;
};

// msiexec's command line as the run refuses it (RunProcessAndWait). A removal's lines differ only
// in their ProductCodes.
bool CommandLineTooLong(const Plan& plan) {
    const InstallPackage* install = plan.Find<InstallPackage>();
    const Remove* remove = plan.Find<Remove>();
    return (install && install->commandLine.size() > kMaxCommandLine) ||
           (remove && remove->commandLines[0].size() > kMaxCommandLine);
}

}  // namespace

void ImportCertificates(CertificateStores& stores, const KitFolder& kit,
                        const std::vector<CertificateFile>& files, Log& log) {
    for (const WideString& name : kit.lookalikes)
        log.Info({"certificate ignored: ", name, " does not end in .cer, .p7b or .crt"});
    PlaceCertificates(stores, files, log);
}

StepOutcomes Succeeded(const Plan& plan, bool restartDue) {
    StepOutcomes outcomes;
    const CheckOneProduct* check = plan.Find<CheckOneProduct>();
    outcomes.twoProducts = check != nullptr && check->expectTwo;
    const Restart* restart = plan.Find<Restart>();
    if (restartDue && restart != nullptr)
        outcomes.restart = restart->policy == RestartPolicy::kRestartAtOnce
                               ? RestartOutcome::kStarted
                               : RestartOutcome::kLeftDue;
    return outcomes;
}

uint32_t RunExitCode(const Plan& plan, const StepOutcomes& outcomes) {
    if (plan.change == Change::kNone)
        return plan.failed ? ExitCodeFor(plan.exitCode) : plan.exitCode;
    if (outcomes.failed != 0) return ExitCodeFor(outcomes.failed);
    if (CommandLineTooLong(plan)) return kExitPathTooLong;
    if (outcomes.twoProducts) return kExitAnotherVersion;
    switch (outcomes.restart) {
        case RestartOutcome::kLeftDue:
            return kExitRebootRequired;
        case RestartOutcome::kStarted:
            return kExitRestartStarted;
        case RestartOutcome::kFailed:
            return kExitRestartFailed;
        default:
            return kExitSuccess;
    }
}

int Apply(ApplyContext& run, const Plan& plan, const Facts& facts) {
    StepOutcomes outcomes;
    Walker walker(run, facts, outcomes);
    for (const Step& step : plan.steps)
        if (!std::visit(walker, step)) break;
    return static_cast<int>(RunExitCode(plan, outcomes));
}

}  // namespace qv
