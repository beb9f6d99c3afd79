#include "driver/MakePlan.h"

#include "common/ExitCodes.h"
#include "decide/Decide.h"
#include "detect/Detect.h"
#include "ui/Messages.h"
#include "ui/SettingsDialog.h"

namespace qv {
namespace {

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
                ReadLateFacts(run.platform, decision.request, facts, run.held, run.log,
                              run.options.whatif, late);
                read = true;
                break;
        }
    }
}

}  // namespace qv
