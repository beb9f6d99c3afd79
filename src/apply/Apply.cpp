#include "apply/Apply.h"

#include <optional>

#include "apply/InitTool.h"
#include "apply/InstallerInvocation.h"
#include "apply/ProcessRunner.h"
#include "apply/RestartSequence.h"
#include "apply/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "detect/Certificates.h"
#include "journal/Journal.h"
#include "model/Choices.h"

namespace qv {
namespace {

// Walks the plan's steps, one case a step. A case answers the run's exit code when the run ends
// there.
class Walker {
  public:
    Walker(ApplyContext& run, const Facts& facts)
        : run_(run), facts_(facts), journal_(run.platform.registry) {}

    std::optional<int> operator()(const PatchCachedPackage& step) {
        PatchUpgradeSequence(run_.platform.installer, step.installedCode, run_.log);
        return std::nullopt;
    }
    // From msiexec to the tool the journal holds where the run is going, for a run ended from
    // outside to be finished or undone by the next (journal/Journal.h).
    std::optional<int> operator()(const InstallPackage& step) {
        bool restartNeeded = false;
        SourceList before;
        if (uint32_t unread = journal_.Begin(run_.platform.installer, step, before)) {
            run_.log.Error({"source list unreadable: not installed"}, unread);
            return kErrorBadConfiguration;
        }
        if (uint32_t status = RunInstaller(run_.platform, step, before, restartNeeded, run_.log)) {
            journal_.Commit();
            return run_.Fail(status, {"msiexec failed"});
        }
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
    // A tool past its limit keeps the record: the next run runs it again.
    std::optional<int> operator()(const RunTool& step) {
        ToolResult tool = RunInitTool(run_.platform, step.productCode, step.seconds, run_.log);
        if (tool.code == kStillActive)
            return run_.Fail(kExitToolTimeout, {"-tooltimeout ", Decimal(step.seconds), " s"});
        journal_.Commit();
        if (tool.code == kErrorSuccessRebootRequired)
            run_.RecordRestart("the tool asked for a restart");
        return std::nullopt;
    }
    // In the order the installer lists them, every one tried whatever the others did: a product
    // left behind by one failure is still removed where it can be. The first failure is the
    // run's. A tool left to do goes with its product.
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
        if (failed == 0) {
            journal_.Commit();
            return std::nullopt;
        }
        return run_.Fail(failed, {"not every related product was removed"});
    }
    std::optional<int> operator()(const Restart& step) {
        return HandlePendingRestart(run_, step.policy);
    }

  private:
    ApplyContext& run_;
    const Facts& facts_;
    JournalEntry journal_;
};

}  // namespace

void ImportCertificates(CertificateStores& stores, const KitFolder& kit,
                        const std::vector<CertificateFile>& files, Log& log) {
    for (const WideString& name : kit.lookalikes)
        log.Info({"certificate ignored: ", name, " does not end in .cer, .p7b or .crt"});
    PlaceCertificates(stores, files, false, log);
}

int Apply(ApplyContext& run, const Plan& plan, const Facts& facts) {
    Walker walker(run, facts);
    for (const Step& step : plan.steps)
        if (std::optional<int> exit = std::visit(walker, step)) return *exit;
    return kExitSuccess;
}

}  // namespace qv
