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
#include "qv_version.h"
#include "reboot/RebootMarker.h"
#include "ui/Messages.h"

namespace qv {

int RunState::Say(MessageId text, const WideString& value) {
    if (options.silent || text == kNoMessage) return 0;
    return ShowMessage(platform.resources, platform.ui, text, value);
}

int RunState::Fail(const StepResult& result, LogLine what) {
    WideString text;
    if (what.size() == 0) LoadMessage(platform.resources, result.message, text);
    log.Error(what.size() == 0 ? LogLine{text} : what, result.status);
    Say(result.message);
    return static_cast<int>(PassThrough(result.status));
}

void RunState::RecordRestart(const WideString& why) {
    if (uint32_t status = CreateRebootMarker(platform.registry)) {
        log.Error({u"restart marker (", why, u") not created; the restart is kept in the run"},
                  status);
        restartUnrecorded = true;
        return;
    }
    log.Info({u"restart marker created: ", why});
}

namespace {

using Exit = std::optional<int>;

const char16_t kInstanceLockName[] = u"Global\\QuorvaneCspSetup";

// "level *kc2*, language *eng*", each "none" when unknown.
WideString Pair(const WideString& level, const WideString& language) {
    const char16_t* none = u"none";
    return Joined({u"level ", level.empty() ? none : level.c_str(), u", language ",
                   language.empty() ? none : language.c_str()});
}

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
            run.log.Info({u"dialog confirmed with ",
                          run.dialog.quickInstall ? u"Install (/qb): " : u"Next: ",
                          Pair(options.kc, options.lang)});
            return std::nullopt;
        case DialogOutcome::kCancelled:
            run.log.Info({u"dialog cancelled"});
            return kExitSuccess;
        case DialogOutcome::kFailed:
            break;
    }
    return run.Fail({error}, {u"the settings dialog could not be shown"});
}

// The log opens as soon as the command line tells where it goes; its first lines say what ran
// where. Answers the log's path, empty when it could not be created.
WideString OpenLog(RunState& run) {
    Platform& platform = run.platform;
    WideString path = run.log.Open(run.options.log);
    SystemInfo& system = platform.system;
    run.log.Info({u"setup.exe " QV_VERSION_WIDE u", log ", path});
    run.log.Info({u"command line: ", system.GetCommandLine()});
    run.log.Info({u"Windows ", system.GetWindowsVersion(),
                  system.IsWow64() ? u", 64-bit" : u", 32-bit", u", user interface language ",
                  Decimal(system.GetUserDefaultUILanguage()), u", system's ",
                  Decimal(system.GetSystemDefaultUILanguage())});
    return path;
}

// msiexec writes its verbose log beside the one -log asked for, unless -args already ask for
// one; and only where that log could be written, or msiexec would refuse to run.
void AddInstallerLog(InstallOptions& options, const WideString& logPath) {
    if (options.log.empty() || logPath.empty()) return;
    for (const WideString& word : SplitCommandLine(u"x " + options.args)) {
        const std::u16string& w = word.str();
        if (w.size() >= 2 && (w[0] == u'/' || w[0] == u'-') && (w[1] == u'l' || w[1] == u'L'))
            return;
    }
    options.args = u"/l*v \"" + options.log + u".msiexec.log\" " + options.args;
}

// The options, then the log where they say, then the usage when they ask for it or are wrong.
Exit ReadCommandLine(RunState& run, const WideString& commandTail) {
    Platform& platform = run.platform;
    InstallOptions& options = run.options;
    run.commandLinePresent = !commandTail.empty();
    ParseOutcome parsed = ParseOutcome::kParsed;
    if (run.commandLinePresent)
        parsed = ParseArguments(SplitCommandLine(platform.system.GetCommandLine()), options);
    WideString logPath = OpenLog(run);
    if (parsed == ParseOutcome::kHelp) {
        run.log.Info({u"usage asked for"});
        return ShowUsage(platform.ui, options.silent, kExitSuccess);
    }
    if (parsed == ParseOutcome::kUnrecognised) {
        // A typo in a deployment script must not read as success.
        run.log.Error({u"bad command line: an unknown option, or a value option without value"});
        return ShowUsage(platform.ui, options.silent, kExitBadCommandLine);
    }
    AddInstallerLog(options, logPath);
    if (!options.kc.empty()) run.log.Info({u"level ", options.kc, u" from -kc"});
    if (!options.lang.empty()) run.log.Info({u"language ", options.lang, u" from -lang"});
    return std::nullopt;
}

// An administrator's run, and the only one of the machine.
Exit Start(RunState& run, const WideString& commandTail) {
    Platform& platform = run.platform;
    if (Exit exit = ReadCommandLine(run, commandTail)) return exit;
    if (!platform.system.IsUserAnAdmin()) {
        run.log.Error({u"not run as an administrator"});
        run.Say(kMsgNotAdmin);
        return kExitNotAdmin;
    }
    run.log.Info({u"administrator: yes"});
    uint32_t error = 0;
    run.lock = platform.processes.LockInstance(kInstanceLockName, error);
    if (!run.lock && (error == kErrorAlreadyExists || error == kErrorAccessDenied)) {
        run.log.Error({u"another setup.exe is running"}, error);
        run.Say(kMsgAlreadyRunning);
        return kExitAlreadyRunning;
    }
    if (!run.lock) run.log.Warning({u"no single-instance lock (", CodeText(error), u")"});
    platform.installer.SetInternalUI(kInstallUiLevelNone);
    return std::nullopt;
}

// The platform package, opened once: what it is and which installed product it relates to.
Exit Identify(RunState& run) {
    Platform& platform = run.platform;
    PackageIdentity& package = run.package;
    run.platformPattern = GetPlatformPattern(platform.system);
    WideString path;
    if (uint32_t status = FindPackageBesideProgram(platform.files, run.platformPattern, path))
        return run.Fail({status, kMsgNoProductCode}, {u"no package for ", run.platformPattern});
    if (uint32_t status = ReadPackageIdentity(platform.installer, path, package))
        return run.Fail({status, kMsgNoProductCode}, {u"package ", path, u" unreadable"});
    run.log.Info({u"platform package ", path, u": ProductCode ", package.productCode,
                  u", UpgradeCode ", package.upgradeCode, u", version ", package.version,
                  u", name \"", package.name, u"\""});
    uint32_t related =
        GetRelatedProductCode(platform.installer, package.upgradeCode, run.installedCode);
    if (related == 0) {
        run.log.Info({u"related product ", run.installedCode});
    } else {
        run.log.Info({u"no related product (", CodeText(related), u")"});
    }
    return std::nullopt;
}

// Same version: nothing to do when silent, else ask. A later version installed: refused unless
// silent. Anything else installs over the installed product.
Exit DecideVersion(RunState& run, int order) {
    InstallOptions& options = run.options;
    Log& log = run.log;
    if (!options.reinstall && order == 0) {
        if (options.silent) {
            log.Info({u"decision: the same version is installed; nothing to do"});
            return kExitSameVersion;
        }
        if (run.Say(kMsgSameVersionReinstall, run.package.name) == kIdYes) {
            log.Info({u"decision: reinstall the same version (confirmed)"});
            options.reinstall = true;
            run.update = true;
        } else {
            log.Info({u"decision: reinstallation declined; msiexec runs with /qf"});
            AppendArgument(options.args, WideString(u"/qf"));
        }
        return std::nullopt;
    }
    run.update = true;
    if (order < 0) {
        if (!options.silent) {
            log.Error({u"decision: a later version is installed; refused"});
            run.Say(kMsgNewerInstalled, run.package.name);
            return kExitNewerInstalled;
        }
        log.Warning({u"decision: a later version is installed; installing over it (silent)"});
    } else {
        log.Info({order == 0 ? u"decision: reinstall the same version (-reinstall)"
                             : u"decision: update"});
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
                                run.installedLanguage)) {
            run.log.Warning({u"the chosen level or language differs from the installed one"});
            run.Say(kMsgKcLanguageDiffer);
        }
    }
    if (options.kc.empty() && !run.installedLevel.empty()) {
        options.kc = run.installedLevel;
        run.log.Info({u"level ", options.kc, u" kept from the installed product"});
    }
    if (options.lang.empty() && !run.installedLanguage.empty()) {
        options.lang = run.installedLanguage;
        run.log.Info({u"language ", options.lang, u" kept from the installed product"});
    }
    return std::nullopt;
}

Exit HandleInstalledProduct(RunState& run) {
    int order = 1;
    StepResult result = CompareInstalledVersion(run.platform.installer, run.installedCode,
                                                run.package, order, run.log);
    if (result.Failed()) return run.Fail(result);
    if (Exit exit = DecideVersion(run, order)) return exit;

    // A detection that fails is reported and leads to the fresh installation's choices.
    StepResult detection =
        DetectInstalledKcAndLanguage(run.platform.installer, run.installedCode, run.installedLevel,
                                     run.installedLanguage, run.log);
    if (detection.Failed()) {
        WideString text;
        LoadMessage(run.platform.resources, detection.message, text);
        run.log.Warning({u"installed level and language unknown: ", text, u" (",
                         CodeText(detection.status), u")"});
    }
    run.log.Info({u"installed product's ", Pair(run.installedLevel, run.installedLanguage)});
    run.Say(detection.message);
    run.detected = !detection.Failed();
    return KeepInstalledLevelAndLanguage(run);
}

// Level and language for a fresh installation, or when the installed ones are unknown.
Exit MakeFreshChoices(RunState& run) {
    if (DialogAllowed(run)) return ShowDialog(run);
    if (run.options.lang.empty()) {
        uint16_t system = run.platform.system.GetSystemDefaultUILanguage();
        run.options.lang = system == kLangRussian ? u"*rus*" : u"*eng*";
        run.log.Info({u"language ", run.options.lang,
                      u" from the system's user interface language ", Decimal(system)});
    }
    return std::nullopt;
}

// The package for the platform, level and language, and who it is: with a ProductCode per
// level and language it is not the platform package.
Exit ChoosePackage(RunState& run) {
    static const char16_t* const kFoundBy[] = {u"level and language", u"language alone",
                                               u"platform alone"};
    Platform& platform = run.platform;
    WideString path;
    int fallback = 0;
    if (uint32_t status = FindInstallPackage(platform.files, run.platformPattern, run.options.kc,
                                             run.options.lang, path, fallback))
        return run.Fail({status, kMsgPackageNotFound},
                        {u"no package for ", run.platformPattern, u", ",
                         Pair(run.options.kc, run.options.lang)});
    run.log.Info({u"package ", path, u", found by ", kFoundBy[fallback]});
    if (path == run.package.path) {
        run.installing = run.package;
    } else if (uint32_t status = ReadPackageIdentity(platform.installer, path, run.installing)) {
        return run.Fail({status, kMsgNoProductCode}, {u"package ", path, u" unreadable"});
    } else {
        run.log.Info({u"its ProductCode ", run.installing.productCode});
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
    PatchUpgradeSequence(platform.installer, run.installedCode, run.log);
    bool restartNeeded = false;
    if (uint32_t status =
            RunInstaller(platform, run.installing.path, code, options.args, restartNeeded, run.log))
        return run.Fail({status}, {u"msiexec failed"});
    // A restart the marker cannot record is kept in the run: the installation succeeded.
    if (restartNeeded) run.RecordRestart(u"msiexec asked for a restart");
    if (options.root) ImportRootCertificates(platform, run.log);
    ToolResult tool = RunInitTool(platform, code, run.log);
    return HandlePendingRestart(run, tool);
}

int RunSteps(RunState& run, const WideString& commandTail) {
    Platform& platform = run.platform;
    if (Exit exit = Start(run, commandTail)) return *exit;
    if (Exit exit = Identify(run)) return *exit;
    bool installed =
        platform.installer.QueryProductState(run.installedCode.c_str()) == kInstallStateDefault;
    if (installed) {
        if (Exit exit = HandleInstalledProduct(run)) return *exit;
    } else {
        run.log.Info({u"decision: fresh installation"});
    }
    if (!installed || !run.detected) {
        if (Exit exit = MakeFreshChoices(run)) return *exit;
    }
    return Install(run);
}

}  // namespace

int Run(Platform& platform, const WideString& commandTail) {
    RunState run(platform);
    int code = RunSteps(run, commandTail);
    run.log.Info({u"exit code ", CodeText(static_cast<uint32_t>(code)), u": ",
                  ExitCodeMeaning(static_cast<uint32_t>(code))});
    return code;
}

}  // namespace qv
