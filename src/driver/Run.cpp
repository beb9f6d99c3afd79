#include "driver/Run.h"

#include <optional>

#include "apply/Apply.h"
#include "apply/Journal.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Choices.h"
#include "decide/Decide.h"
#include "detect/Detect.h"
#include "driver/ExitCode.h"
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

// The lines of a decision not written yet: a decision made again, after an answer or with the
// facts that follow it, writes the lines written before first. They are skipped only where they
// are the same; a line that differs is written, and every line after it, so none is lost.
// A plan to look at keeps the lines too.
class DecisionLines : public Log {
  public:
    DecisionLines(Log& log, std::vector<WideString>* kept) : log_(log), kept_(kept) {}
    void Again() { next_ = 0; }
    void Add(Severity severity, const WideString& text, const uint32_t* code) override {
        if (next_ < written_.size()) {
            if (written_[next_] == text) {
                ++next_;
                return;
            }
            written_.erase(written_.begin() + next_, written_.end());
        }
        ++next_;
        written_.push_back(text);
        if (kept_ != nullptr) kept_->push_back(text);
        log_.Add(severity, text, code);
    }

  private:
    Log& log_;
    std::vector<WideString>* kept_;
    std::vector<WideString> written_;
    size_t next_ = 0;
};

// -whatif asks nobody: it names what a person would be asked, then plans as where nobody can
// answer.
WideString UnaskedLine(RunContext& run, MessageId message, const WideString& product) {
    WideString text = MessageText(run.platform.resources, message, product);
    if (message != kMsgSameVersionReinstall && message != kMsgRemove)
        return Joined({"would show: ", text});
    return Joined({"would ask: \"", text,
                   message == kMsgRemove
                       ? "\" Yes: remove it; No: nothing removed, exit code 1602"
                       : "\" Yes: reinstall it; No: msiexec with its own dialogs (/qf)",
                   "; planned as where nobody answers"});
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

// Decides once, and again after each answer and after reading the facts that follow the
// decision, until there is a plan. A decision asks each question at most once and reads once: a
// few rounds always do. With `report`, a plan to look at: the decision's lines go to it as well.
Plan MakePlan(RunContext& run, Facts& facts, LateFacts& late, std::vector<WideString>* report) {
    constexpr int kRounds = 16;
    DecisionLines lines(run.log, report);
    Answers answers;
    bool read = false;
    for (int round = 0;; ++round) {
        if (round == kRounds) RaiseFatalError(kExitInvalidArgument);
        lines.Again();
        Decision decision = Decide(facts, run.options, answers, read ? &late : nullptr, lines);
        switch (decision.kind) {
            case Decision::Kind::kPlan:
                return std::move(decision.plan);
            case Decision::Kind::kAsk:
                Ask(run, decision.question, facts, answers);
                break;
            case Decision::Kind::kRead:
                ReadLateFacts(run.platform, decision.request, facts, run.held, run.log,
                              run.options.whatif, late);
                read = true;
                break;
        }
    }
}

// What the run ends with if every step succeeds: the plan's exit code, in one place.
uint32_t ExitOf(const Plan& plan, const Facts& facts) {
    if (plan.change == Change::kNone)
        return plan.failed ? ExitCodeFor(plan.exitCode) : plan.exitCode;
    const CheckOneProduct* check = plan.Find<CheckOneProduct>();
    if (check != nullptr && check->expectTwo) return kExitAnotherVersion;
    const Restart* restart = plan.Find<Restart>();
    bool pending = facts.markerPresent && restart != nullptr &&
                   (restart->policy == RestartPolicy::kLeaveToCaller ||
                    restart->policy == RestartPolicy::kLeaveToLaterRun);
    return pending ? kExitRebootRequired : kExitSuccess;
}

// -whatif: the plan to the log and to standard output, or in a box where someone can see it;
// nothing changes. Its decision and exit code are those of the same command line where nobody
// sees a window, as a deployment tool runs it.
int WhatIf(RunContext& run, const Facts& facts, const LateFacts& late, const Plan& plan,
           std::vector<WideString>& report) {
    uint32_t exit = ExitOf(plan, facts);
    for (int message = kMsgNotAdmin; message <= kMsgLast; ++message)
        if (plan.unasked & NoticeBit(static_cast<MessageId>(message)))
            report.push_back(
                UnaskedLine(run, static_cast<MessageId>(message), facts.platformPackage.name));
    if (plan.change == Change::kNone && plan.message != kNoMessage) {
        report.push_back(Joined({"would show: ", MessageText(run.platform.resources, plan.message,
                                                             plan.messageValue)}));
    }
    for (const WideString& line : DescribePlan(plan, facts, late)) {
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
    DecisionLines recoveryLines(run.log, &recovery);
    RestoredSource restored;
    if (lock || (run.options.whatif && !otherRun))
        restored = Recover(run.platform, recoveryLines, run.options.whatif);
    // A plan decides from the source list as the run would find it, put back; the run reads it
    // as it is.
    if (!run.options.whatif) restored = {};
    Facts facts = Detect(run.platform, run.options, restored, run.held, run.log);
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
    LateFacts late;
    Plan plan = MakePlan(run, facts, late, run.options.whatif ? &report : nullptr);
    if (run.options.whatif) return WhatIf(run, facts, late, plan, report);
    if (plan.change == Change::kNone) {
        run.voice.Say(plan.message, plan.messageValue);
        return static_cast<int>(ExitOf(plan, facts));
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
