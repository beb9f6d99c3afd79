#include "decide/Decide.h"

#include "common/CommandLine.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Decider.h"
#include "decide/VersionCheck.h"
#include "model/Choices.h"

namespace qv {

WideString Pair(const Selection& selection) {
    const char16_t* level = TokenOf(selection.level);
    const char16_t* language = TokenOf(selection.language);
    return Joined(
        {"level ", *level ? level : u"none", ", language ", *language ? language : u"none"});
}

WideString Wanted(const Selection& selection) {
    const char16_t* level = TokenOf(selection.level);
    const char16_t* language = TokenOf(selection.language);
    return Joined(
        {*level ? "KC" : "", *level ? level + 2 : level, *level && *language ? " " : "", language});
}

void Decider::Decide() {
    if (facts_.otherRun) {
        Stop(kExitAlreadyRunning, kMsgAlreadyRunning);
        return;
    }
    if (!Sealed(facts_.sealBroken) || !Identify()) return;
    if (options_.uninstall) {
        if (Removing() && ReadLate(false)) Remove();
    } else if (OneProduct() && Choose() && ChoosePackage() && ReadLate(true) && Chosen() &&
               Repairable()) {
        Install();
    }
}

// Ends with the exit code and the message's box.
bool Decider::Stop(uint32_t exitCode, MessageId message, const WideString& value) {
    Plan& plan = decision_.plan;
    plan.change = Change::kNone;
    plan.exitCode = exitCode;
    plan.message = message;
    plan.messageValue = value;
    return false;
}

// Ends with the failing step's own code, which the driver turns into the exit code.
bool Decider::Fail(uint32_t status, MessageId message, LogLine why, const WideString& value) {
    log_.Error(why, status);
    Stop(status, message, value);
    decision_.plan.failed = true;
    return false;
}

bool Decider::Ask(Question question) {
    decision_.kind = Decision::Kind::kAsk;
    decision_.question = std::move(question);
    return false;
}

// -whatif names what a person at the visible window station would be asked.
void Decider::Unasked(MessageId message) {
    if (options_.whatif && !options_.silent && facts_.stationVisible)
        decision_.plan.unasked |= NoticeBit(message);
}

// A box that only informs, shown once; none where nobody sees it.
bool Decider::Noticed(MessageId message) {
    if (message == kNoMessage || options_.silent) return true;
    if (Unattended()) {
        Unasked(message);
        return true;
    }
    if (answers_.noticesShown & NoticeBit(message)) return true;
    return !Ask(Question::Ask(Question::Kind::kNotice, message));
}

// Two products left by a failed update: which one a run would act on is chance.
bool Decider::OneProduct() {
    const InstalledProduct& installed = facts_.installed;
    if (installed.other.empty()) return true;
    log_.Error({"two related products are installed: ", installed.code, " and ", installed.other,
                "; remove one (-uninstall removes both)"});
    return Stop(kExitAnotherVersion, kMsgAnotherVersionInstalled, facts_.platformPackage.name);
}

// A file of a sealed kit that is not as sealed (`broken`) stops the run before anything
// changes.
bool Decider::Sealed(const WideString& broken) {
    if (broken.empty()) return true;
    Info({"decision: the kit's files are not as sealed; nothing done"});
    return Stop(kExitKitChanged, kMsgKitChanged, broken);
}

bool Decider::Identify() {
    const PackageIdentity& package = facts_.platformPackage;
    Info({"machine ", MachineName(facts_.machine), ": the ", TokenOf(facts_.architecture),
          " packages"});
    if (facts_.platformStatus == 0) return true;
    if (package.path.empty())
        return Fail(facts_.platformStatus, kMsgNoProductCode,
                    {"no package for ", TokenOf(facts_.architecture)});
    return Fail(facts_.platformStatus, UnreadMessage(facts_.platformStatus),
                {"package ", package.path, " unreadable"});
}

// The installed product decides first; then the fresh installation's choices, unless its
// level and language are known.
bool Decider::Choose() {
    if (!Installed()) {
        if (options_.repair) return NotInstalled("repair");
        Info({"decision: fresh installation"});
        return ChooseFresh();
    }
    const StepResult& read = facts_.installed.versionRead;
    if (read.Failed())
        return Fail(read.status, read.message,
                    {"installed version of ", facts_.installed.code, " unreadable"});
    if (options_.repair) return Repairing();
    int order = CompareVersions(facts_.platformPackage.version, facts_.installed.version);
    if (!DecideVersion(order)) return false;
    const InstalledSelection& installed = Selected();
    const StepResult& detection = installed.detection;
    Info({"installed product's ", Pair(installed.selection)});
    if (!Noticed(detection.message)) return false;
    if (!KeepInstalled(installed.selection)) return false;
    return !detection.Failed() || ChooseFresh();
}

// Same version: nothing to do when silent, else ask. A later version installed: refused
// unless silent. Anything else installs over the installed product.
bool Decider::DecideVersion(int order) {
    const WideString& name = facts_.platformPackage.name;
    if (!options_.reinstall && order == 0) {
        if (options_.silent || Unattended()) {
            Unasked(kMsgSameVersionReinstall);
            if (!SameLevel()) return false;
            if (facts_.recovered.forward) return Finish();
            Info({"decision: the same version is installed; nothing to do"});
            return Stop(kExitSameVersion, kNoMessage);
        }
        if (!answers_.reinstall)
            return Ask(Question::Ask(Question::Kind::kReinstall, kMsgSameVersionReinstall, name));
        if (*answers_.reinstall) {
            Info({"decision: reinstall the same version (confirmed)"});
            change_ = Change::kReinstall;
        } else {
            Info({"decision: reinstall declined"});
            change_ = Change::kMaintenance;
            interface_ = u"/qf";
        }
        return true;
    }
    change_ = order == 0 ? Change::kReinstall : Change::kUpdate;
    if (order < 0) {
        if (!options_.silent) {
            log_.Error({"decision: a later version is installed; refused"});
            return Stop(kExitNewerInstalled, kMsgNewerInstalled, name);
        }
        log_.Warning({"decision: a later version is installed; installing over it (silent)"});
    } else {
        Info({order == 0 ? "decision: reinstall the same version (-reinstall)"
                         : "decision: update"});
    }
    return true;
}

// A level asked for is never "nothing to do" over the same version at another level.
bool Decider::SameLevel() {
    if (selection_.level == Level::kNone) return true;
    Level installed = Selected().selection.level;
    if (installed == Level::kNone || installed == selection_.level) return true;
    log_.Error({"level ", TokenOf(selection_.level),
                " asked for, but the same version is "
                "installed at ",
                TokenOf(installed),
                ": -reinstall changes the level of a "
                "kit with one ProductCode; with a ProductCode per level, -uninstall first"});
    return Stop(kExitAnotherVersion, kNoMessage);
}

// An update keeps the installed level and language unless others were chosen, and warns
// then.
bool Decider::KeepInstalled(const Selection& installed) {
    if (installed.level != Level::kNone && installed.language != Language::kNone) {
        if (facts_.platformPackage.productCode != facts_.installed.code && DialogAllowed() &&
            !ShowSettings(installed))
            return false;
        bool differs =
            (selection_.level != Level::kNone && selection_.level != installed.level) ||
            (selection_.language != Language::kNone && selection_.language != installed.language);
        if (differs) {
            log_.Warning({"the chosen level or language differs from the installed one"});
            if (!Noticed(kMsgKcLanguageDiffer)) return false;
        }
    }
    if (selection_.level == Level::kNone && installed.level != Level::kNone) {
        selection_.level = installed.level;
        Info({"level ", TokenOf(selection_.level), " kept from the installed product"});
    }
    if (selection_.language == Language::kNone && installed.language != Language::kNone) {
        selection_.language = installed.language;
        Info({"language ", TokenOf(selection_.language), " kept from the installed product"});
    }
    return true;
}

// Level and language for a fresh installation, or when the installed ones are unknown.
bool Decider::ChooseFresh() {
    if (DialogAllowed()) return ShowSettings({});
    if (selection_.language == Language::kNone) {
        selection_.language = facts_.systemLanguage;
        Info({"language ", TokenOf(selection_.language),
              " from the system's user interface language"});
    }
    return true;
}

// Nothing is installed unless the dialog was confirmed.
bool Decider::ShowSettings(const Selection& preset) {
    if (!answers_.settings) {
        Question question = Question::Ask(Question::Kind::kSettings, kNoMessage);
        question.preset = preset;
        return Ask(question);
    }
    const DialogAnswer& answer = *answers_.settings;
    if (answer.outcome == DialogOutcome::kCancelled) {
        Info({"dialog cancelled"});
        return Stop(kExitSuccess, kNoMessage);
    }
    if (answer.outcome == DialogOutcome::kFailed)
        return Fail(answer.error, kNoMessage, {"the settings dialog could not be shown"});
    if (answer.choice.level != Level::kNone) selection_.level = answer.choice.level;
    if (answer.choice.language != Language::kNone) selection_.language = answer.choice.language;
    quickInstall_ = answer.quickInstall;
    Info(
        {"dialog confirmed with ", quickInstall_ ? "Install (/qb): " : "Next: ", Pair(selection_)});
    return true;
}

// The package for the platform, level and language, and who it is: with a ProductCode per
// level and language it is not the platform package.
bool Decider::ChoosePackage() {
    static const char* const kFoundBy[] = {"level and language", "language alone", "level alone",
                                           "platform alone"};
    PackageChoice choice = qv::ChoosePackage(facts_.kit, facts_.architecture, selection_);
    if (choice.path.empty()) {
        // A level is a security class: never another one than was chosen. Only a level
        // chosen from a kit built per level can go unfound.
        if (options_.repair) return Missing();
        return Fail(kErrorFileNotFound, kMsgLevelNotFound,
                    {"no package for ", TokenOf(facts_.architecture), ", ", Pair(selection_)},
                    Wanted(selection_));
    }
    if (selection_.level == Level::kNone && HoldsPerLevelPackages(facts_.kit))
        log_.Warning(
            {"no level chosen and none installed: ", TokenOf(LevelInName(choice.path.FileName())),
             " taken, the first package found; -kc chooses the level"});
    bool languageChanged =
        choice.foundBy == FoundBy::kLevelAlone || choice.foundBy == FoundBy::kPlatformAlone;
    LogLine found{"package ", choice.path, ", found by ",
                  kFoundBy[static_cast<int>(choice.foundBy)]};
    if (languageChanged) {
        log_.Warning(found);
    } else {
        Info(found);
    }
    // Another package than the platform's is read after deciding.
    package_ = facts_.platformPackage;
    if (choice.path != package_.path) package_ = PackageIdentity{choice.path, {}, {}, {}, {}};
    foundBy_ = choice.foundBy;
    return true;
}

// A repair takes the installed product as it is: its level and language, never guessed
// (a level is a security class), never others.
bool Decider::Repairing() {
    const InstalledSelection& own = Selected();
    const Selection& kept = own.selection;
    bool known = !own.detection.Failed() && kept.language != Language::kNone &&
                 (kept.level != Level::kNone || !HoldsPerLevelPackages(facts_.kit));
    if (!known || (selection_.level != Level::kNone && selection_.level != kept.level) ||
        (selection_.language != Language::kNone && selection_.language != kept.language)) {
        log_.Error(
            {"repair: ", Pair(selection_), " asked for, ", Pair(kept), " installed; nothing done"});
        return Stop(kExitAnotherVersion, kNoMessage);
    }
    selection_ = kept;
    change_ = Change::kRepair;
    return true;
}

// The package of the installed product's level and language, at its version.
bool Decider::Repairable() {
    const InstalledProduct& installed = facts_.installed;
    if (!options_.repair) return true;
    if (foundBy_ != FoundBy::kLevelAndLanguage ||
        !EqualWithoutCase(package_.productCode, installed.code) ||
        CompareVersions(package_.version, installed.version) != 0)
        return Missing();
    Info({"decision: repair ", installed.code, " from ", package_.path});
    return true;
}

// Stopped before any change: the log names what the kit lacks.
bool Decider::Missing() {
    log_.Error({"repair: the kit holds no ", TokenOf(facts_.architecture), " package of version ",
                facts_.installed.version, ", ", Pair(selection_), "; nothing done"});
    return Stop(kExitAnotherVersion, kMsgLevelNotFound, Wanted(selection_));
}

bool Decider::NotInstalled(const char* what) {
    Info({"decision: nothing related to ", facts_.platformPackage.upgradeCode,
          " is installed; nothing to ", what});
    return Stop(kErrorUnknownProduct, kMsgNotInstalled, facts_.platformPackage.name);
}

Decision Decide(const Facts& facts, const InstallOptions& options, const Answers& answers,
                const LateFacts* late, Log& log) {
    Decision decision;
    Decider(facts, options, answers, late, log, decision).Decide();
    return decision;
}

}  // namespace qv
