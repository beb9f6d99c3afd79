#include "driver/Run.h"

#include <optional>

#include "apply/Apply.h"
#include "apply/Journal.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Choices.h"
#include "decide/Decide.h"
#include "detect/Detect.h"
#include "driver/InstallOptions.h"
#include "driver/Lock.h"
#include "driver/Report.h"
#include "driver/RunContext.h"
#include "model/Plan.h"
#include "qv_version.h"
#include "ui/Messages.h"
#include "ui/SettingsDialog.h"

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
        run.log.Error({"-log ", run.options.log, " not replaced; this log instead"}, refused);
    run.log.Info({"command line: ", system.CommandLine()});
    run.log.Info({"Windows ", system.WindowsVersion(), ", ", MachineName(ReadMachine(system)),
                  ", user interface language ", Decimal(system.UserDefaultUiLanguage()),
                  ", system's ", Decimal(system.SystemDefaultUiLanguage())});
    return path;
}

// The options, then the log where they say, then the usage when they ask for it or are wrong.
Exit ReadCommandLine(RunContext& run, const WideString& commandTail, WideString& logPath) {
    InstallOptions& options = run.options;
    options.empty = commandTail.empty();
    ParseOutcome parsed = ParseOutcome::kParsed;
    if (!options.empty)
        parsed = ParseArguments(SplitCommandLine(run.platform.system.CommandLine()), options);
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
    bool both = options.uninstall && options.reinstall;
    if (parsed == ParseOutcome::kUnrecognised || both) {
        // A typo in a deployment script must not read as success.
        if (both) {
            run.log.Error({"bad command line: -uninstall and -reinstall exclude each other"});
        } else if (options.badValue.empty()) {
            run.log.Error({"bad command line: an unknown option, or a value option without value"});
        } else {
            run.log.Error({"bad command line: ", options.badValue,
                           " names no level (kc1, kc2, kc3) or language (eng, rus)"});
        }
        run.voice.SayUsage();
        return kExitBadCommandLine;
    }
    if (options.kc != Level::kNone) run.log.Info({"level ", TokenOf(options.kc), " from -kc"});
    if (options.lang != Language::kNone)
        run.log.Info({"language ", TokenOf(options.lang), " from -lang"});
    return std::nullopt;
}

// An administrator's run, and the only one of the machine. A plan to look at takes no lock: it
// looks whether another run holds it (`otherRun`), and closes what it opened to look at once,
// so that the look never makes another run answer 1618.
Exit Start(RunContext& run, std::unique_ptr<LockNamespace>& space,
           std::unique_ptr<InstanceLock>& lock, bool& otherRun) {
    Platform& platform = run.platform;
    if (!platform.system.IsUserAnAdmin()) {
        run.log.Error({"not run as an administrator"});
        run.voice.Say(kMsgNotAdmin);
        return kExitNotAdmin;
    }
    run.log.Info({"administrator: yes"});
    bool look = run.options.whatif;
    uint32_t error = 0;
    lock = TakeLock(run, space, error, look);
    // A run that waits on a box, or only looks, must keep nobody out.
    if (!lock) space.reset();
    otherRun = !lock && (error == kErrorAlreadyExists || error == kErrorAccessDenied);
    if (otherRun) run.log.Error({"another setup.exe is running"}, error);
    if (look) return std::nullopt;
    if (otherRun) {
        run.voice.Say(kMsgAlreadyRunning);
        return kExitAlreadyRunning;
    }
    if (!lock) run.log.Warning({"no single-instance lock (", CodeText(error), ")"});
    platform.installer.DisableInternalUi();
    return std::nullopt;
}

// The lines of a decision that the rounds before have not written yet: each round decides
// again from the start.
// A plan to look at keeps the lines too.
class NewLines : public Log {
  public:
    NewLines(Log& log, size_t written, std::vector<WideString>* kept)
        : log_(log), skip_(written), kept_(kept) {}
    size_t Count() const { return count_; }
    void Add(Severity severity, const WideString& text, const uint32_t* code) override {
        if (count_++ < skip_) return;
        if (kept_ != nullptr) kept_->push_back(text);
        log_.Add(severity, text, code);
    }

  private:
    Log& log_;
    size_t skip_;
    std::vector<WideString>* kept_;
    size_t count_ = 0;
};

// -whatif never asks: it names the question, says what each answer would do and goes on as
// with "Yes".
void Foresee(RunContext& run, const Question& question, Answers& answers,
             std::vector<WideString>& report) {
    WideString text = MessageText(run.platform.resources, question.message, question.value);
    switch (question.kind) {
        case Question::Kind::kNotice:
            report.push_back(Joined({"would show: ", text}));
            answers.noticesShown |= NoticeBit(question.message);
            return;
        case Question::Kind::kReinstall:
            report.push_back(Joined({"would ask: \"", text,
                                     "\" Yes: reinstall it, as below; No: "
                                     "msiexec with its own dialogs (/qf)"}));
            answers.reinstall = true;
            return;
        case Question::Kind::kRemove:
            report.push_back(Joined({"would ask: \"", text,
                                     "\" Yes: remove it, as below; No: "
                                     "nothing removed, exit code 1602"}));
            answers.remove = true;
            return;
        case Question::Kind::kSettings:
            report.push_back(Joined({"would show the settings dialog; Install: as below"}));
            answers.settings = DialogAnswer{DialogOutcome::kConfirmed, question.preset, true, 0};
            return;
    }
}

void Ask(RunContext& run, const Question& question, const Facts& facts, Answers& answers) {
    switch (question.kind) {
        case Question::Kind::kNotice:
            run.voice.Say(question.message, question.value);
            answers.noticesShown |= NoticeBit(question.message);
            break;
        case Question::Kind::kReinstall:
            answers.reinstall = run.voice.Say(question.message, question.value) == kAnswerYes;
            break;
        case Question::Kind::kSettings:
            answers.settings = ShowSettingsDialog(run.platform.ui, run.platform.resources,
                                                  question.preset, facts.systemLanguage);
            break;
        case Question::Kind::kRemove:
            answers.remove = run.voice.Say(question.message, question.value) == kAnswerYes;
            break;
    }
}

// Decides, asking and reading what the decision needs, until there is a plan. Each round adds
// an answer or a fact, and a decision asks for each at most once: a few rounds always do.
// With `report`, a plan to look at: the decision's lines go to it as well, and nothing is
// asked. `log` takes the lines of a decision made only for its exit code.
Plan MakePlan(RunContext& run, Facts& facts, const InstallOptions& options, Log& log,
              std::vector<WideString>* report) {
    constexpr int kRounds = 16;
    Answers answers;
    size_t written = 0;
    for (int round = 0;; ++round) {
        if (round == kRounds) RaiseFatalError(kExitInvalidArgument);
        NewLines lines(log, written, report);
        Decision decision = Decide(facts, options, answers, lines);
        written = lines.Count();
        switch (decision.kind) {
            case Decision::Kind::kPlan:
                return std::move(decision.plan);
            case Decision::Kind::kAsk:
                if (report != nullptr) {
                    Foresee(run, decision.question, answers, *report);
                } else {
                    Ask(run, decision.question, facts, answers);
                }
                break;
            case Decision::Kind::kRead:
                ReadFact(run.platform, decision.request, facts, run.held, log, options.whatif);
                break;
        }
    }
}

// What the run would end with if every step succeeded: the plan's exit code, in one place.
uint32_t ExitOf(const Plan& plan, const Facts& facts) {
    if (plan.change == Change::kNone) return plan.exitCode;
    const CheckOneProduct* check = plan.Find<CheckOneProduct>();
    if (check != nullptr && check->expectTwo) return kExitAnotherVersion;
    const Restart* restart = plan.Find<Restart>();
    bool pending = facts.markerPresent && restart != nullptr &&
                   (restart->policy == RestartPolicy::kLeaveToCaller ||
                    restart->policy == RestartPolicy::kLeaveToLaterRun);
    return pending ? kExitRebootRequired : kExitSuccess;
}

// The exit code of the same command line where nobody sees a window: nothing asked, the
// answers that change least, nothing logged.
uint32_t UnattendedExit(RunContext& run, Facts& facts) {
    NewLines quiet(run.log, SIZE_MAX, nullptr);
    facts.stationVisible = false;
    for (;;) {
        Decision decision = Decide(facts, run.options, {}, quiet);
        if (decision.kind != Decision::Kind::kRead) return ExitOf(decision.plan, facts);
        ReadFact(run.platform, decision.request, facts, run.held, quiet, true);
    }
}

// -whatif: the plan to the log and to standard output, or in a box where someone can see it;
// nothing changes. The exit code is the one the same command line would give where nobody
// sees a window, as a deployment tool runs it.
int WhatIf(RunContext& run, Facts& facts, const Plan& plan, std::vector<WideString>& report) {
    uint32_t exit = run.voice.CanAsk() ? UnattendedExit(run, facts) : ExitOf(plan, facts);
    if (plan.change == Change::kNone && plan.message != kNoMessage) {
        report.push_back(Joined({"would show: ", MessageText(run.platform.resources, plan.message,
                                                             plan.messageValue)}));
    }
    for (const WideString& line : DescribePlan(run.platform.resources, plan, facts)) {
        run.log.Info({"plan: ", line});
        report.push_back(line);
    }
    report.push_back(Joined({"exit code ", CodeText(exit), ": ", ExitCodeMeaning(exit)}));
    WideString text;
    for (const WideString& line : report) text.Append(line).Append(u"\r\n");
    if (!run.platform.ui.Print(text)) run.voice.SayReport(text);
    return static_cast<int>(exit);
}

int RunStages(RunContext& run, const WideString& commandTail) {
    WideString logPath;
    if (Exit exit = ReadCommandLine(run, commandTail, logPath)) return *exit;
    std::unique_ptr<LockNamespace> space;
    std::unique_ptr<InstanceLock> lock;  // no other setup.exe runs while it is held
    bool otherRun = false;
    if (Exit exit = Start(run, space, lock, otherRun)) return *exit;
    // Journal: what a run ended from outside left is finished or undone under the lock, before
    // the installed product is read; a plan only says so. Another run's steps are its own.
    std::vector<WideString> recovery;
    NewLines recoveryLines(run.log, 0, &recovery);
    std::pair<WideString, SourceList> restored;
    if (lock || (run.options.whatif && !otherRun))
        restored = Recover(run.platform, recoveryLines, run.options.whatif);
    Facts facts = Detect(run.platform, run.options, run.held, run.log);
    // A plan decides from the source list as the run would find it, put back.
    if (run.options.whatif && restored.first == facts.installed.code)
        facts.restoredPackage = restored.second.packageName;
    facts.stationVisible = run.voice.StationVisible();
    facts.otherRun = otherRun;
    facts.setupLog = logPath;
    std::vector<WideString> report;
    if (run.options.whatif && !logPath.empty()) {
        report.push_back(Joined({"setup log: ", logPath}));
        // The msiexec log the run would name.
        if (!run.options.log.empty()) facts.setupLog = run.options.log;
    }
    for (const WideString& line : recovery) report.push_back(line);  // journal
    Plan plan = MakePlan(run, facts, run.options, run.log, run.options.whatif ? &report : nullptr);
    if (run.options.whatif) return WhatIf(run, facts, plan, report);
    if (plan.change == Change::kNone) {
        run.voice.Say(plan.message, plan.messageValue);
        return static_cast<int>(plan.exitCode);
    }
    return Apply(run, plan, facts);
}

}  // namespace

int Run(Platform& platform, const WideString& commandTail) {
    RunContext run(platform);
    int code = RunStages(run, commandTail);
    run.log.Info({"exit code ", CodeText(static_cast<uint32_t>(code)), ": ",
                  ExitCodeMeaning(static_cast<uint32_t>(code))});
    return code;
}

}  // namespace qv
