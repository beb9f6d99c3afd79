#include "driver/Run.h"

#include <optional>

#include "actions/Certificates.h"
#include "actions/InitTool.h"
#include "actions/InstallerInvocation.h"
#include "actions/SequencePatch.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "driver/PendingRestart.h"
#include "driver/RunState.h"
#include "packages/FileLookup.h"
#include "packages/KcLanguage.h"
#include "packages/PackageIdentity.h"
#include "packages/VersionCheck.h"
#include "reboot/RebootMarker.h"
#include "ui/Messages.h"

namespace qv {

int RunState::Say(MessageId text, const WideString& value) {
    if (options.silent || text == kNoMessage) return 0;
    return ShowMessage(platform.resources, platform.ui, text, value);
}

int RunState::Fail(const StepResult& result) {
    Say(result.message);
    return static_cast<int>(PassThrough(result.status));
}

void RunState::RecordRestart() {
    if (CreateRebootMarker(platform.registry) != 0) restartUnrecorded = true;
}

namespace {

using Exit = std::optional<int>;

const char16_t kInstanceLockName[] = u"Global\\QuorvaneCspSetup";

bool DialogAllowed(const RunState& run) {
    WideString ignored;
    return !run.commandLinePresent &&
           FindPackageBesideProgram(run.platform.files, WideString(u"*kc1*"), ignored) == 0;
}

// Answers an exit code when the user cancels, or when the dialog could not be shown: nothing
// was confirmed then, and nothing may be installed.
Exit ShowDialog(RunState& run) {
    InstallOptions& options = run.options;
    uint32_t error = 0;
    switch (ShowSettingsDialog(run.platform, options.kc, options.lang, run.dialog, error)) {
        case DialogOutcome::kConfirmed:
            return std::nullopt;
        case DialogOutcome::kCancelled:
            return kExitSuccess;
        case DialogOutcome::kFailed:
            break;
    }
    return run.Fail({error});
}

Exit Start(RunState& run, const WideString& commandTail) {
    Platform& platform = run.platform;
    run.commandLinePresent = !commandTail.empty();
    if (run.commandLinePresent) {
        if (Exit exit = ParseCommandLine(platform, run.options)) return exit;
    }
    if (!platform.system.IsUserAnAdmin()) {
        run.Say(kMsgNotAdmin);
        return kExitNotAdmin;
    }
    uint32_t error = 0;
    run.lock = platform.processes.LockInstance(kInstanceLockName, error);
    if (!run.lock && (error == kErrorAlreadyExists || error == kErrorAccessDenied)) {
        run.Say(kMsgAlreadyRunning);
        return kExitAlreadyRunning;
    }
    platform.installer.SetInternalUI(kInstallUiLevelNone);
    return std::nullopt;
}

// The platform package, opened once: what it is and which installed product it relates to.
Exit Identify(RunState& run) {
    Platform& platform = run.platform;
    run.platformPattern = GetPlatformPattern(platform.system);
    WideString path;
    uint32_t status = FindPackageBesideProgram(platform.files, run.platformPattern, path);
    if (status == 0) status = ReadPackageIdentity(platform.installer, path, run.package);
    if (status != 0) return run.Fail({status, kMsgNoProductCode});
    GetRelatedProductCode(platform.installer, run.package.upgradeCode, run.installedCode);
    return std::nullopt;
}

// Same version: nothing to do when silent, else ask. A later version installed: refused unless
// silent. Anything else installs over the installed product.
Exit DecideVersion(RunState& run, int order) {
    InstallOptions& options = run.options;
    if (!options.reinstall && order == 0) {
        if (options.silent) return kExitSameVersion;
        if (run.Say(kMsgSameVersionReinstall, run.package.name) == kIdYes) {
            options.reinstall = true;
            run.update = true;
        } else {
            AppendArgument(options.args, WideString(u"/qf"));
        }
        return std::nullopt;
    }
    run.update = true;
    if (order < 0 && !options.silent) {
        run.Say(kMsgNewerInstalled, run.package.name);
        return kExitNewerInstalled;
    }
    return std::nullopt;
}

// An update keeps the installed level and language unless others were chosen, and warns then.
Exit KeepInstalledLevelAndLanguage(RunState& run) {
    InstallOptions& options = run.options;
    if (!run.installedLevel.empty() && !run.installedLanguage.empty()) {
        if (run.package.productCode != run.installedCode && DialogAllowed(run)) {
            run.dialog.settingsSelection =
                WideString(u"*") + run.installedLevel + u"*" + run.installedLanguage + u"*";
            if (Exit exit = ShowDialog(run)) return exit;
        }
        if (KcOrLanguageDiffers(options.kc, options.lang, run.installedLevel,
                                run.installedLanguage))
            run.Say(kMsgKcLanguageDiffer);
    }
    if (options.kc.empty()) options.kc = run.installedLevel;
    if (options.lang.empty()) options.lang = run.installedLanguage;
    return std::nullopt;
}

Exit HandleInstalledProduct(RunState& run) {
    int order = 1;
    StepResult result =
        CompareInstalledVersion(run.platform.installer, run.installedCode, run.package, order);
    if (!result.Failed() && run.package.nameStatus != 0)
        result = {run.package.nameStatus, kMsgNoNewVersion};
    if (result.Failed()) return run.Fail(result);
    if (Exit exit = DecideVersion(run, order)) return exit;

    // A detection that fails is reported and leads to the fresh installation's choices.
    StepResult detection = DetectInstalledKcAndLanguage(run.platform.installer, run.installedCode,
                                                        run.installedLevel, run.installedLanguage);
    run.Say(detection.message);
    run.detected = !detection.Failed();
    return KeepInstalledLevelAndLanguage(run);
}

// Level and language for a fresh installation, or when the installed ones are unknown.
Exit MakeFreshChoices(RunState& run) {
    if (DialogAllowed(run)) return ShowDialog(run);
    if (run.options.lang.empty()) {
        bool russian = run.platform.system.GetSystemDefaultUILanguage() == kLangRussian;
        run.options.lang = russian ? u"*rus*" : u"*eng*";
    }
    return std::nullopt;
}

// The package for the platform, level and language, and who it is: with a ProductCode per
// level and language it is not the platform package.
Exit ChoosePackage(RunState& run) {
    Platform& platform = run.platform;
    WideString path;
    int fallback = 0;
    if (uint32_t status = FindInstallPackage(platform.files, run.platformPattern, run.options.kc,
                                             run.options.lang, path, fallback))
        return run.Fail({status, kMsgPackageNotFound});
    if (path == run.package.path) {
        run.installing = run.package;
    } else if (uint32_t status = ReadPackageIdentity(platform.installer, path, run.installing)) {
        return run.Fail({status, kMsgNoProductCode});
    }
    return std::nullopt;
}

int Install(RunState& run) {
    Platform& platform = run.platform;
    InstallOptions& options = run.options;
    if (Exit exit = ChoosePackage(run)) return *exit;
    const WideString& code = run.installing.productCode;
    if (run.update && code == run.installedCode)
        AppendArgument(options.args, WideString(u"REINSTALL=ALL REINSTALLMODE=vemus"));
    if (run.dialog.quickInstall) AppendArgument(options.args, WideString(u"/qb"));
    PatchUpgradeSequence(platform.installer, run.installedCode);
    bool restartNeeded = false;
    if (uint32_t status =
            RunInstaller(platform, run.installing.path, code, options.args, restartNeeded))
        return run.Fail({status});
    // A restart the marker cannot record is kept in the run: the installation succeeded.
    if (restartNeeded) run.RecordRestart();
    if (options.root) ImportRootCertificates(platform);
    ToolResult tool = RunInitTool(platform, code);
    return HandlePendingRestart(run, tool);
}

}  // namespace

int Run(Platform& platform, const WideString& commandTail) {
    RunState run(platform);
    if (Exit exit = Start(run, commandTail)) return *exit;
    if (Exit exit = Identify(run)) return *exit;
    bool installed =
        platform.installer.QueryProductState(run.installedCode.c_str()) == kInstallStateDefault;
    if (installed) {
        if (Exit exit = HandleInstalledProduct(run)) return *exit;
    }
    if (!installed || !run.detected) {
        if (Exit exit = MakeFreshChoices(run)) return *exit;
    }
    return Install(run);
}

}  // namespace qv
