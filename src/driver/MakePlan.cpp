#include "driver/MakePlan.h"

#include "common/ExitCodes.h"
#include "decide/Decide.h"
#include "detect/Detect.h"
#include "ui/Messages.h"
#include "ui/SettingsDialog.h"

namespace qv {

namespace {

// A box that cannot be shown (MessageBoxW answers 0) answers nothing: the decision is made
// again as where nobody sees a window, taking the answers that change least.
void Ask(RunContext& run, const Question& question, Facts& facts, Answers& answers) {
    if (question.kind == Question::Kind::kSettings) {
        answers.settings = ShowSettingsDialog(run.platform.ui, run.platform.resources,
                                              question.preset, facts.systemLanguage);
        return;
    }
    int answer = run.voice.Say(question.message, question.value);
    if (answer == 0) {
        run.log.Warning({kBoxNotShown});
        facts.stationVisible = false;
        return;
    }
    bool yes = answer == kAnswerYes;
    if (question.kind == Question::Kind::kNotice)
        answers.noticesShown |= NoticeBit(question.message);
    if (question.kind == Question::Kind::kReinstall) answers.reinstall = yes;
    if (question.kind == Question::Kind::kRemove) answers.remove = yes;
}

}  // namespace

// A decision asks each question at most once and reads once: a few rounds always do.
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
                ReadLateFacts(run.platform, decision.request, facts, run.held, run.log, late);
                read = true;
                break;
        }
    }
}

}  // namespace qv
