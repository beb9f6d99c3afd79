#include "apply/Apply.h"

#include <optional>

#include "apply/Certificates.h"
#include "apply/InstallerInvocation.h"
#include "apply/Journal.h"
#include "apply/ProcessRunner.h"
#include "apply/Restart.h"
#include "apply/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Choices.h"

namespace qv {
namespace {

// Walks the plan's steps, one case a step. A case answers the run's exit code when the run ends
// there.
class Walker {
  public:
    Walker(ApplyContext& run, const Facts& facts) : run_(run), facts_(facts) {}

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
        const WideString& product = step.package.productCode;
        if (uint32_t unread = JournalBegin(run_.platform, JournalStep::kInstaller, product)) {
            run_.log.Error({"network source unreadable: not installed"}, unread);
            return kErrorBadConfiguration;
        }
        uint32_t status =
            RunInstaller(run_.platform, step.package, step.commandLine, restartNeeded, run_.log);
        JournalEnd(run_.platform);
        if (status) return run_.Fail(status, {"msiexec failed"});
        run_.installed = true;
        // A restart the marker cannot record is kept in the run: the installation succeeded.
        if (restartNeeded) run_.RecordRestart("msiexec asked for a restart");
        return std::nullopt;
    }
    std::optional<int> operator()(const CheckOneProduct& step) {
        if (!run_.platform.installer.IsInstalled(step.before)) return std::nullopt;
        run_.log.Error(
            {"two products: ", step.before, " is still installed beside ", step.after.productCode});
        run_.Say(kMsgAnotherVersionInstalled, step.after.name);
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
        return run_.Fail(failed, {"not every related product was removed"});
    }
    std::optional<int> operator()(const Restart& step) {
        return HandlePendingRestart(run_, step.policy, tool_);
    }

  private:
    ApplyContext& run_;
    const Facts& facts_;
    ToolResult tool_;
};

}  // namespace

int Apply(ApplyContext& run, const Plan& plan, const Facts& facts) {
    Walker walker(run, facts);
    for (const Step& step : plan.steps)
        if (std::optional<int> exit = std::visit(walker, step)) return *exit;
    return kExitSuccess;
}

}  // namespace qv
