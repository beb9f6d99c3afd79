#include "driver/Run.h"

#include "actions/Certificates.h"
#include "actions/InitTool.h"
#include "actions/InstallerInvocation.h"
#include "actions/SequencePatch.h"
#include "common/ResultCodes.h"
#include "driver/InstallOptions.h"
#include "packages/FileLookup.h"
#include "packages/KcLanguage.h"
#include "packages/ProductCodes.h"
#include "packages/VersionCheck.h"
#include "reboot/Restart.h"
#include "ui/Messages.h"
#include "ui/SettingsDialog.h"

namespace qv {
namespace {

struct RunState {
    InstallOptions options;
    bool commandLinePresent = false;
    WideString installedCode;
    WideString newCode;
    WideString productName;
    bool update = false;
    WideString installedLevel;
    WideString installedLanguage;
    bool detected = false;
};

bool Kc1PackagePresent(Platform& platform) {
    WideString ignored;
    return FindFileBesideProgram(platform.files, WideString(u"*kc1*"), ignored) == 0;
}

bool DialogAllowed(Platform& platform, const RunState& run) {
    return !run.commandLinePresent && Kc1PackagePresent(platform);
}

// Steps for an installed related product: version decision and level and language.
// Answers an exit code when the run ends here.
std::optional<int> HandleInstalledProduct(Platform& platform, RunState& run) {
    InstallOptions& o = run.options;
    int order = 1;
    if (uint32_t r = CompareInstalledVersion(platform, o.silent, run.installedCode, order))
        return static_cast<int>(r);
    if (uint32_t r = GetNewPackageProductName(platform, o.silent, run.productName))
        return static_cast<int>(r);

    if (!o.reinstall && order == 0) {
        if (o.silent) return kExitSameVersion;
        if (ShowFormattedMessage(platform, kMsgSameVersionReinstall, kMsgCaptionUpdate,
                                 kQuestionBox, run.productName) == kIdYes) {
            o.reinstall = 1;
            run.update = true;
        } else {
            AppendArgument(o.args, WideString(u"/qf"));
        }
    } else {
        run.update = true;
        if (order < 0 && !o.silent) {
            ShowFormattedMessage(platform, kMsgNewerInstalled, kMsgCaptionUpdate, kErrorBox,
                                 run.productName);
            return kExitNewerInstalled;
        }
    }

    run.detected = DetectInstalledKcAndLanguage(platform, run.installedCode, o.silent,
                                                run.installedLevel, run.installedLanguage) == 0;
    if (run.update && run.newCode == run.installedCode)
        AppendArgument(o.args, WideString(u"REINSTALL=ALL REINSTALLMODE=vemus"));

    if (!run.installedLevel.empty() && !run.installedLanguage.empty()) {
        if (run.newCode != run.installedCode && DialogAllowed(platform, run)) {
            DialogState& dialog = ProcessDialogState();
            dialog.settingsSelection = WideString(u"*") + run.installedLevel + u"*" +
                                       run.installedLanguage + u"*";
            if (!ShowSettingsDialog(platform, o.kc, o.lang)) return kExitSuccess;
        }
        if (!o.silent &&
            KcOrLanguageDiffers(o.kc, o.lang, run.installedLevel, run.installedLanguage))
            ShowMessage(platform, kMsgKcLanguageDiffer, kMsgCaptionWarning, kWarningBox);
    }
    if (o.kc.empty()) o.kc = run.installedLevel;
    if (o.lang.empty()) o.lang = run.installedLanguage;
    return std::nullopt;
}

// Level and language for a fresh installation, or when detection failed.
std::optional<int> MakeFreshChoices(Platform& platform, RunState& run) {
    InstallOptions& o = run.options;
    if (DialogAllowed(platform, run)) {
        if (!ShowSettingsDialog(platform, o.kc, o.lang)) return kExitSuccess;
        return std::nullopt;
    }
    if (o.lang.empty())
        o.lang = platform.system.GetSystemDefaultUILanguage() == kLangRussian ? u"*rus*"
                                                                              : u"*eng*";
    return std::nullopt;
}

int Install(Platform& platform, RunState& run) {
    InstallOptions& o = run.options;
    if (ProcessDialogState().quickInstall) AppendArgument(o.args, WideString(u"/qb"));
    PatchUpgradeSequence(platform.installer, run.installedCode);
    if (uint32_t r = RunInstaller(platform, run.newCode, o.kc, o.lang, o.args, o.silent))
        return static_cast<int>(r);
    if (o.root) ImportRootCertificates(platform);
    ToolResult tool = RunInitTool(platform, run.newCode);
    return static_cast<int>(HandlePendingRestart(platform, tool, o.silent, o.noreboot));
}

}  // namespace

int Run(Platform& platform, const WideString& commandTail) {
    RunState run;
    InstallOptions& o = run.options;
    run.commandLinePresent = !commandTail.empty();
    if (run.commandLinePresent) {
        if (std::optional<int> exit = ParseCommandLine(platform, o)) return *exit;
    }

    if (!platform.system.IsUserAnAdmin()) {
        ShowErrorUnlessSilent(platform, o.silent, kMsgNotAdmin);
        return kExitNotAdmin;
    }
    platform.installer.SetInternalUI(kInstallUiLevelNone);

    GetPackageCode(platform, true, run.installedCode);
    if (uint32_t status = GetPackageCode(platform, false, run.newCode)) {
        ShowErrorUnlessSilent(platform, o.silent, kMsgNoProductCode);
        return static_cast<int>(status);
    }

    bool installed =
        platform.installer.QueryProductState(run.installedCode.c_str()) == kInstallStateDefault;
    if (installed) {
        if (std::optional<int> exit = HandleInstalledProduct(platform, run)) return *exit;
    }
    if (!installed || !run.detected) {
        if (std::optional<int> exit = MakeFreshChoices(platform, run)) return *exit;
    }
    return Install(platform, run);
}

}  // namespace qv
