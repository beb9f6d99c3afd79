#include "driver/Run.h"

#include <cstring>
#include <optional>

#include "apply/Apply.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "detect/Detect.h"
#include "driver/Lock.h"
#include "driver/MakePlan.h"
#include "driver/ParseOptions.h"
#include "driver/Report.h"
#include "driver/RunContext.h"
#include "journal/Journal.h"
#include "model/Choices.h"
#include "platform/WhatIf.h"
#include "qv_version.h"
#include "ui/Messages.h"

namespace qv {
namespace {

using Exit = std::optional<int>;

// The log opens as soon as the command line tells where it goes; its first lines say what ran
// where. Answers the log's path, empty when it could not be created.
WideString OpenLog(RunContext& run) {
    SystemInfo& system = run.platform.system;
    uint32_t refused = 0;
    // A plan replaces no log: one that is there may be all that tells of an earlier run.
    bool keep = run.options.whatif;
    WideString path = run.setupLog.Open(run.options.log, refused, keep);
    run.log.Info({"setup.exe " QV_VERSION_STRING ", log ", path});
    if (refused != 0)
        run.log.Error({"-log ", run.options.log, " not written; this log instead"}, refused);
    run.log.Info({"command line: ", system.CommandLine()});
    run.log.Info({"Windows ", system.WindowsVersion(), ", ", MachineName(ReadMachine(system)),
                  ", user interface language ", Decimal(system.UserDefaultUiLanguage()),
                  ", system's ", Decimal(system.SystemDefaultUiLanguage())});
    return path;
}

// The log where the options say, then the usage when they ask for it or are wrong.
Exit ReadCommandLine(RunContext& run, ParseOutcome parsed, WideString& logPath) {
    const InstallOptions& options = run.options;
    logPath = OpenLog(run);
    if (!options.silent && !run.voice.StationVisible())
        run.log.Warning(
            {"the window station is not visible: setup.exe shows nothing and asks "
             "nothing, and takes the answers that change least"});
    if (parsed == ParseOutcome::kHelp) {
        run.log.Info({"usage asked for"});
        run.voice.SayUsage();
        return kExitSuccess;
    }
    if (parsed == ParseOutcome::kUnrecognised) {
        // A typo in a deployment script must not read as success.
        if (!options.badValue.empty()) {
            run.log.Error({"bad command line: ", options.badValue,
                           " names no level (kc1-kc3), language (eng, rus) or seconds (1-86400)"});
        } else if (options.uninstall + options.reinstall + options.repair > 1) {
            run.log.Error(
                {"bad command line: -uninstall, -reinstall and -repair exclude each other"});
        } else {
            run.log.Error({"bad command line: an unknown option, or a value option without value"});
        }
        run.voice.SayUsage();
        return kExitBadCommandLine;
    }
    if (options.kc != Level::kNone) run.log.Info({"level ", TokenOf(options.kc), " from -kc"});
    if (options.lang != Language::kNone)
        run.log.Info({"language ", TokenOf(options.lang), " from -lang"});
    return std::nullopt;
}

// An administrator's run, and the only one of the machine. A plan takes no lock: it looks
// whether another run holds it (`otherRun`), and closes what it opened to look at once, so that
// the look never makes another run answer 1618.
Exit Start(RunContext& run, std::unique_ptr<LockNamespace>& space,
           std::unique_ptr<InstanceLock>& lock, bool& otherRun) {
    Platform& platform = run.platform;
    if (!platform.system.IsUserAnAdmin()) {
        run.log.Error({"not run as an administrator"});
        run.voice.Say(kMsgNotAdmin);
        return kExitNotAdmin;
    }
    run.log.Info({"administrator: yes"});
    uint32_t error = 0;
    if (run.options.whatif) {
        LookAtLock(run, space, error);
    } else {
        lock = TakeLock(run, space, error);
    }
    // A run that waits on a box, or only looks, must keep nobody out.
    if (!lock) space.reset();
    otherRun = !lock && (error == kErrorAlreadyExists || error == kErrorAccessDenied);
    if (otherRun) run.log.Error({"another setup.exe is running"}, error);
    // A plan says what it found.
    if (run.options.whatif) return std::nullopt;
    if (otherRun) {
        run.voice.Say(kMsgAlreadyRunning);
        return kExitAlreadyRunning;
    }
    if (!lock) run.log.Warning({"no single-instance lock (", CodeText(error), ")"});
    platform.installer.DisableInternalUi();
    return std::nullopt;
}

int RunStages(RunContext& run, ParseOutcome parsed, WhatIf& overlay) {
    WideString logPath;
    if (Exit exit = ReadCommandLine(run, parsed, logPath)) return *exit;
    std::unique_ptr<LockNamespace> space;
    std::unique_ptr<InstanceLock> lock;  // no other setup.exe runs while it is held
    bool otherRun = false;
    if (Exit exit = Start(run, space, lock, otherRun)) return *exit;
    bool whatif = run.options.whatif;
    std::vector<WideString> report;
    if (whatif && !logPath.empty()) report.push_back(Joined({"setup log: ", logPath}));
    // What recovery and the overlay's writes say goes to the plan as well.
    DecisionLines lines(run.log, &report);
    overlay.lines = &lines;
    // Journal: what a run ended from outside left is finished or undone under the lock, before
    // the installed product is read; a plan's platform only says so. Another run's steps are its
    // own.
    RunFacts found;
    if (lock || (whatif && !otherRun)) found.recovered = Recover(run.platform, lines);
    found.stationVisible = run.voice.StationVisible();
    found.otherRun = otherRun || found.recovered.busy;
    found.setupLog = run.setupLog.beside;
    // The msiexec log a plan would name.
    if (whatif && !run.options.log.empty() && !run.setupLog.collected)
        found.setupLog = run.options.log;
    Facts facts = Detect(run.platform, run.options, std::move(found), run.held, run.log);
    const StepResult& detection = facts.installedSelection.detection;
    if (detection.Failed()) {
        WideString text;
        LoadMessage(run.platform.resources, detection.message, text);
        run.log.Warning({"installed level and language unknown: ", text, " (",
                         CodeText(detection.status), ")"});
    }
    LateFacts late;
    Plan plan = MakePlan(run, facts, late, whatif ? &report : nullptr);
    if (whatif) return ReportPlan(run, facts, late, plan, report);
    if (plan.change == Change::kNone) {
        run.voice.Say(plan.message, plan.messageValue);
        return static_cast<int>(RunExitCode(plan, {}));
    }
    return Apply(run, plan, facts);
}

}  // namespace

// -whatif is a platform: the real one with its writes held back. The log is the real one's.
int Run(Platform& platform, const WideString& commandTail) {
    InstallOptions options;
    options.empty = commandTail.empty();
    ParseOutcome parsed = ParseOutcome::kParsed;
    if (!options.empty)
        parsed = ParseArguments(SplitCommandLine(platform.system.CommandLine()), options);
    WhatIf overlay(platform);
    RunContext run(options.whatif ? overlay.platform : platform, platform.files, options);
    int code = RunStages(run, parsed, overlay);
    const char* meaning = ExitCodeMeaning(static_cast<uint32_t>(code));
    // 1638 before msiexec installed anything: two products were there already, or would be.
    if (code == kExitAnotherVersion && !run.installed) meaning = "nothing changed";
    // A removal's own word where the table speaks of an installation (7, 1641, 3010).
    bool removal = run.options.uninstall && strncmp(meaning, "installed;", 10) == 0;
    run.log.Info({"exit code ", CodeText(static_cast<uint32_t>(code)), ": ",
                  removal ? "removed" : "", meaning + (removal ? 9 : 0)});
    return code;
}

}  // namespace qv
