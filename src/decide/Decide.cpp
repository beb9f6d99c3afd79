#include "decide/Decide.h"

#include "common/CommandLine.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/PackageChoice.h"
#include "decide/VersionCheck.h"
#include "model/Choices.h"

namespace qv {

namespace {

// "level kc2, language eng", each "none" when not known.
WideString Pair(const Selection& selection) {
    const char16_t* level = TokenOf(selection.level);
    const char16_t* language = TokenOf(selection.language);
    return Joined(
        {"level ", *level ? level : u"none", ", language ", *language ? language : u"none"});
}

// What message 127 names: "KC2 rus", "KC3", "eng".
WideString Wanted(const Selection& selection) {
    const char16_t* level = TokenOf(selection.level);
    const char16_t* language = TokenOf(selection.language);
    return Joined(
        {*level ? "KC" : "", *level ? level + 2 : level, *level && *language ? " " : "", language});
}

// One decision, from the start each time: a question answered, or the facts that follow it,
// let it go further. A step answers false when the decision ends there.
class Decider {
  public:
    Decider(const Facts& facts, const InstallOptions& options, const Answers& answers,
            const LateFacts* late, Log& log, Decision& decision)
        : facts_(facts),
          options_(options),
          answers_(answers),
          late_(late),
          log_(log),
          decision_(decision) {
        selection_ = {options.kc, options.lang};
    }

    void Decide() {
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

  private:
    void Info(LogLine text) { log_.Info(text); }

    // Ends with the exit code and the message's box.
    bool Stop(uint32_t exitCode, MessageId message, const WideString& value = {}) {
        Plan& plan = decision_.plan;
        plan.change = Change::kNone;
        plan.exitCode = exitCode;
        plan.message = message;
        plan.messageValue = value;
        return false;
    }
    // Ends with the failing step's own code, which the driver turns into the exit code.
    bool Fail(uint32_t status, MessageId message, LogLine why, const WideString& value = {}) {
        log_.Error(why, status);
        Stop(status, message, value);
        decision_.plan.failed = true;
        return false;
    }
    bool Ask(Question question) {
        decision_.kind = Decision::Kind::kAsk;
        decision_.question = std::move(question);
        return false;
    }
    // One way in, so the list grows by one instantiation.
    void Add(Step step) { decision_.plan.steps.push_back(std::move(step)); }
    // Nobody can answer: not silent, but off the visible window station. -whatif answers as
    // such a run would.
    bool Unattended() const {
        return !options_.silent && (!facts_.stationVisible || options_.whatif);
    }
    // -whatif names what a person at the visible window station would be asked.
    void Unasked(MessageId message) {
        if (options_.whatif && !options_.silent && facts_.stationVisible)
            decision_.plan.unasked |= NoticeBit(message);
    }

    // A box that only informs, shown once; none where nobody sees it.
    bool Noticed(MessageId message) {
        if (message == kNoMessage || options_.silent) return true;
        if (Unattended()) {
            Unasked(message);
            return true;
        }
        if (answers_.noticesShown & NoticeBit(message)) return true;
        return !Ask(Question::Ask(Question::Kind::kNotice, message));
    }

    bool Installed() const { return !facts_.installed.code.empty(); }

    // Two products left by a failed update: which one a run would act on is chance.
    bool OneProduct() {
        const InstalledProduct& installed = facts_.installed;
        if (installed.other.empty()) return true;
        log_.Error({"two related products are installed: ", installed.code, " and ",
                    installed.other, "; remove one (-uninstall removes both)"});
        return Stop(kExitAnotherVersion, kMsgAnotherVersionInstalled, facts_.platformPackage.name);
    }

    // A file of a sealed kit that is not as sealed (`broken`) stops the run before anything
    // changes.
    bool Sealed(const WideString& broken) {
        if (broken.empty()) return true;
        Info({"decision: the kit's files are not as sealed; nothing done"});
        return Stop(kExitKitChanged, kMsgKitChanged, broken);
    }

    // A path too long to open is no package without a ProductCode.
    static MessageId UnreadMessage(uint32_t status) {
        return status == kErrorFilenameExcedRange ? kMsgCannotOpenNewPackage : kMsgNoProductCode;
    }

    bool Identify() {
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
    bool Choose() {
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
    bool DecideVersion(int order) {
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
                return Ask(
                    Question::Ask(Question::Kind::kReinstall, kMsgSameVersionReinstall, name));
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
    bool SameLevel() {
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
    bool KeepInstalled(const Selection& installed) {
        if (installed.level != Level::kNone && installed.language != Language::kNone) {
            if (facts_.platformPackage.productCode != facts_.installed.code && DialogAllowed() &&
                !ShowSettings(installed))
                return false;
            bool differs =
                (selection_.level != Level::kNone && selection_.level != installed.level) ||
                (selection_.language != Language::kNone &&
                 selection_.language != installed.language);
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

    bool DialogAllowed() const {
        return options_.empty && facts_.stationVisible && HoldsPerLevelPackages(facts_.kit);
    }

    // Level and language for a fresh installation, or when the installed ones are unknown.
    bool ChooseFresh() {
        if (DialogAllowed()) return ShowSettings({});
        if (selection_.language == Language::kNone) {
            selection_.language = facts_.systemLanguage;
            Info({"language ", TokenOf(selection_.language),
                  " from the system's user interface language"});
        }
        return true;
    }

    // Nothing is installed unless the dialog was confirmed.
    bool ShowSettings(const Selection& preset) {
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
        Info({"dialog confirmed with ",
              quickInstall_ ? "Install (/qb): " : "Next: ", Pair(selection_)});
        return true;
    }

    // The package for the platform, level and language, and who it is: with a ProductCode per
    // level and language it is not the platform package.
    bool ChoosePackage() {
        static const char* const kFoundBy[] = {"level and language", "language alone",
                                               "level alone", "platform alone"};
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
            log_.Warning({"no level chosen and none installed: ",
                          TokenOf(LevelInName(choice.path.FileName())),
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
    bool Repairing() {
        const InstalledSelection& own = Selected();
        const Selection& kept = own.selection;
        bool known = !own.detection.Failed() && kept.language != Language::kNone &&
                     (kept.level != Level::kNone || !HoldsPerLevelPackages(facts_.kit));
        if (!known || (selection_.level != Level::kNone && selection_.level != kept.level) ||
            (selection_.language != Language::kNone && selection_.language != kept.language)) {
            log_.Error({"repair: ", Pair(selection_), " asked for, ", Pair(kept),
                        " installed; nothing done"});
            return Stop(kExitAnotherVersion, kNoMessage);
        }
        selection_ = kept;
        change_ = Change::kRepair;
        return true;
    }

    // The package of the installed product's level and language, at its version.
    bool Repairable() {
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
    bool Missing() {
        log_.Error({"repair: the kit holds no ", TokenOf(facts_.architecture),
                    " package of version ", facts_.installed.version, ", ", Pair(selection_),
                    "; nothing done"});
        return Stop(kExitAnotherVersion, kMsgLevelNotFound, Wanted(selection_));
    }

    // What follows the decision is read in one step, once it is known what msiexec will run:
    // the package to install when it is not the platform's, its cabinets and the certificate
    // files of a sealed kit, whether msiexec's log can be written, and for -whatif the tool's
    // folder. The decision is then made again with them.
    bool ReadLate(bool installing) {
        if (late_ != nullptr) return true;
        FactRequest& request = decision_.request;
        if (installing) {
            if (package_.productCode.empty()) request.package = package_.path;
            if (facts_.seal.sealed) request.sealedPackage = package_.path;
            request.toolFolder = options_.whatif;
        }
        // msiexec's verbose log goes beside the setup log when -log asked for one, unless -args
        // name its own.
        request.installerLog =
            !options_.log.empty() && !facts_.setupLog.empty() && !NamesInstallerLog(options_.args);
        if (request.package.empty() && request.sealedPackage.empty() && !request.installerLog &&
            !request.toolFolder)
            return true;
        decision_.kind = Decision::Kind::kRead;
        return false;
    }

    // The package to install as read after deciding: as sealed, and who it is.
    bool Chosen() {
        if (late_ == nullptr) return true;
        if (!Sealed(late_->sealBroken)) return false;
        if (!late_->package) return true;
        const PackageRead& read = *late_->package;
        if (read.status != 0)
            return Fail(read.status, UnreadMessage(read.status),
                        {"package ", read.path, " unreadable"});
        package_ = read.identity;
        Info({"its ProductCode ", package_.productCode});
        return true;
    }

    bool NotInstalled(const char* what) {
        Info({"decision: nothing related to ", facts_.platformPackage.upgradeCode,
              " is installed; nothing to ", what});
        return Stop(kErrorUnknownProduct, kMsgNotInstalled, facts_.platformPackage.name);
    }

    // Every product the kit relates to, whatever its level and language; its own removal actions
    // run as they are meant to, so no cached package is patched.
    bool Removing() {
        const WideString& name = facts_.platformPackage.name;
        if (facts_.relatedInstalled.empty()) return NotInstalled("remove");
        if (Unattended()) {
            Unasked(kMsgRemove);
            Info({"decision: nobody to ask whether to remove ", name, "; nothing removed"});
            return Stop(kErrorInstallUserExit, kNoMessage);
        }
        if (!options_.silent && !answers_.remove)
            return Ask(Question::Ask(Question::Kind::kRemove, kMsgRemove, name));
        if (!options_.silent && !*answers_.remove) {
            Info({"decision: removal declined"});
            return Stop(kErrorInstallUserExit, kNoMessage);
        }
        return true;
    }

    void Remove() {
        Plan& plan = decision_.plan;
        if (selection_.level != Level::kNone || selection_.language != Language::kNone)
            Info({"-kc and -lang ignored by -uninstall (", Pair(selection_), ")"});
        plan.change = Change::kRemove;
        WideString words = InstallerWords(true);
        qv::Remove removal;
        for (const WideString& code : facts_.relatedInstalled) {
            Info({"decision: remove ", code});
            removal.products.push_back(code);
            removal.commandLines.push_back(
                Joined({"\"", facts_.systemDirectory, "\\msiexec.exe\" /x ", code, " ", words,
                        " REBOOT=R"}));
        }
        Add(std::move(removal));
        AddRestart();
    }

    // msiexec's log, its one interface switch and the -args words: /qn where nobody would see
    // its interface, else the one decided (/qf, /qb), unless -args choose one; there, one that
    // shows a window gives way to /qn, since msiexec would wait for ever on its own error box.
    // A removal of several products adds to one log.
    WideString InstallerWords(bool append) {
        WideString words;
        if (late_ != nullptr && !late_->msiexecLog.empty())
            words = Joined({append ? "/l*v+ \"" : "/l*v \"", late_->msiexecLog, "\" "});
        bool hidden = !facts_.stationVisible || Unattended();
        const char16_t* level = hidden ? u"/qn" : interface_;
        WideString args = options_.args;
        if (hidden && ChoosesInterfaceLevel(args) &&
            !ChoosesInterfaceLevel(WithoutVisibleInterface(args))) {
            log_.Warning({"-args' interface switch shows a window nobody sees: /qn instead"});
            args = WithoutVisibleInterface(args);
        }
        if (level == nullptr) {
        } else if (!ChoosesInterfaceLevel(args)) {
            AppendArgument(words, WideString(level));
        } else if (level == interface_) {
            Info({"-args choose, not ", level});
        }
        return words + args;
    }

    // The closing step: what happens about a restart that is due.
    void AddRestart() {
        Add(Restart{options_.noreboot ? RestartPolicy::kLeaveToLaterRun
                    : options_.silent ? RestartPolicy::kRestartAtOnce
                    : Unattended()    ? RestartPolicy::kLeaveToCaller
                                      : RestartPolicy::kAsk});
    }

    // Where the installer's upgrade will not remove the product installed under another code,
    // two would remain; the run checks after msiexec and fails then.
    bool WarnOfTwoProducts() {
        const InstalledProduct& installed = facts_.installed;
        if (!Installed() || package_.productCode == installed.code) return false;
        const char* why = nullptr;
        if (CompareVersions(package_.version, installed.version) == 0) {
            why = "the same version";
        } else if (CompareUpgradeVersions(package_.version, installed.version) == 0) {
            why = "a version that differs in the fourth field only";
        } else if (CompareVersions(package_.version, installed.version) < 0) {
            why = "an earlier version";
        }
        if (why == nullptr) return false;
        log_.Warning({"the package is ", why, " under another ProductCode than ", installed.code,
                      ": the installer's upgrade will not remove it"});
        return true;
    }

    // The steps a run ended from outside left, once msiexec had committed: first in the plan.
    void AddRecovered() {
        const Recovered& recovered = facts_.recovered;
        if (!recovered.forward) return;
        if (recovered.certificates) Add(AddCertificates{});
        Add(RunTool{recovered.product, options_.toolSeconds});
    }

    // Nothing to install, but what a run ended from outside left is done: a finished step is
    // never hidden behind "nothing to do".
    bool Finish() {
        Info({"decision: the same version is installed; what the run ended left to do"});
        decision_.plan.change = Change::kFinish;
        AddRecovered();
        AddRestart();
        return false;
    }

    void Install() {
        bool two = WarnOfTwoProducts();
        // Another product of the same version (another level or language of a kit with a
        // ProductCode per level): the installer's upgrade would keep the installed one.
        if (two && change_ == Change::kReinstall) {
            Stop(kExitAnotherVersion, kNoMessage);
            return;
        }
        // Its provider's x64 DLLs load into emulated x64 programs only.
        if (facts_.machine == Architecture::kArm64 && facts_.architecture == Architecture::kX64)
            log_.Warning(
                {"ARM64 Windows: installing the x64 package; native ARM64 programs "
                 "cannot use it"});
        Plan& plan = decision_.plan;
        plan.change = Installed() ? change_ : Change::kFresh;
        const WideString& installed = facts_.installed.code;
        bool repair = plan.change == Change::kRepair;
        bool sameProduct =
            repair || plan.change == Change::kUpdate || plan.change == Change::kReinstall;
        // A repair brings back missing or older files, rewrites keys and shortcuts, and keeps
        // the cached package.
        if (sameProduct && package_.productCode == facts_.installed.code)
            AppendArgument(decided_,
                           Joined({"REINSTALL=ALL REINSTALLMODE=", repair ? "omus" : "vemus"}));
        if (quickInstall_) interface_ = u"/qb";
        AddRecovered();
        // A repair removes nothing, so no removal action needs skipping.
        if (!repair) Add(PatchCachedPackage{installed});
        Add(InstallPackage{package_,
                           BuildInstallerCommandLine(facts_.systemDirectory, package_.path,
                                                     InstallerWords(false) + decided_),
                           options_.root});
        if (!installed.empty() && !EqualWithoutCase(installed, package_.productCode))
            Add(CheckOneProduct{installed, package_, two});
        if (options_.root) Add(AddCertificates{});
        Add(RunTool{package_.productCode, options_.toolSeconds});
        AddRestart();
    }

    // Read by Detect for any decision but a removal, which never asks for it.
    const InstalledSelection& Selected() const { return facts_.installedSelection; }

    const Facts& facts_;
    const InstallOptions& options_;
    const Answers& answers_;
    const LateFacts* late_;  // null until read
    Log& log_;
    Decision& decision_;
    Selection selection_;
    Change change_ = Change::kNone;
    bool quickInstall_ = false;
    const char16_t* interface_ = nullptr;  // msiexec's interface switch the decision chose
    FoundBy foundBy_ = FoundBy::kNothing;
    WideString decided_;  // the words the decision adds after -args
    PackageIdentity package_;
};

}  // namespace

Decision Decide(const Facts& facts, const InstallOptions& options, const Answers& answers,
                const LateFacts* late, Log& log) {
    Decision decision;
    Decider(facts, options, answers, late, log, decision).Decide();
    return decision;
}

}  // namespace qv
