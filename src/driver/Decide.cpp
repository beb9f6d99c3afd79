#include "actions/InstallerInvocation.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "driver/Plan.h"
#include "packages/VersionCheck.h"

namespace qv {

uint32_t NoticeBit(MessageId message) {
    return 1u << ((message - kMsgNotAdmin) & 31);
}

namespace {

// "level kc2, language eng", each "none" when not known.
WideString Pair(const Selection& selection) {
    const char16_t* level = TokenOf(selection.level);
    const char16_t* language = TokenOf(selection.language);
    return Joined(
        {u"level ", *level ? level : u"none", u", language ", *language ? language : u"none"});
}

// One decision, from the start each time: a question answered or a fact read lets it go
// further. A step answers false when the decision ends there.
class Decider {
  public:
    Decider(const Facts& facts, const InstallOptions& options, const Answers& answers, Log& log,
            Decision& decision)
        : facts_(facts), options_(options), answers_(answers), log_(log), decision_(decision) {
        selection_ = {options.kc, options.lang};
    }

    void Decide() {
        if (Identify() && Choose() && ChoosePackage()) Install();
    }

  private:
    void Info(LogLine text) { log_.Info(text); }

    // Ends with the exit code and the message's box. A failure passed through never reads as
    // one of setup.exe's own codes.
    bool Stop(uint32_t exitCode, MessageId message, const WideString& value = {}) {
        Plan& plan = decision_.plan;
        plan.change = Change::kNone;
        plan.exitCode = exitCode;
        plan.message = message;
        plan.messageValue = value;
        return false;
    }
    bool Fail(uint32_t status, MessageId message, LogLine why) {
        log_.Error(why, status);
        return Stop(PassThrough(status), message);
    }
    bool Ask(Question question) {
        decision_.kind = Decision::Kind::kAsk;
        decision_.question = std::move(question);
        return false;
    }
    bool Read(FactRequest::Kind kind, const WideString& path = {}) {
        decision_.kind = Decision::Kind::kRead;
        decision_.request = {kind, path};
        return false;
    }
    // A box that only informs, shown once; none in a silent run.
    bool Noticed(MessageId message) {
        if (options_.silent) return true;
        if (answers_.noticesShown & NoticeBit(message)) return true;
        return message == kNoMessage || !Ask(Question::Ask(Question::Kind::kNotice, message));
    }

    bool Installed() const { return !facts_.installed.code.empty(); }

    bool Identify() {
        const PackageIdentity& package = facts_.platformPackage;
        if (facts_.platformStatus == 0) return true;
        if (package.path.empty())
            return Fail(facts_.platformStatus, kMsgNoProductCode,
                        {u"no package for ", TokenOf(facts_.architecture)});
        return Fail(facts_.platformStatus, kMsgNoProductCode,
                    {u"package ", package.path, u" unreadable"});
    }

    // The installed product decides first; then the fresh installation's choices, unless its
    // level and language are known.
    bool Choose() {
        if (!Installed()) {
            Info({u"decision: fresh installation"});
            return ChooseFresh();
        }
        const StepResult& read = facts_.installed.versionRead;
        if (read.Failed())
            return Fail(read.status, read.message,
                        {u"installed version of ", facts_.installed.code, u" unreadable"});
        int order = CompareVersions(facts_.platformPackage.version, facts_.installed.version);
        if (!DecideVersion(order)) return false;
        if (!facts_.installedSelection) return Read(FactRequest::Kind::kInstalledSelection);
        const InstalledSelection& installed = *facts_.installedSelection;
        const StepResult& detection = installed.detection;
        Info({u"installed product's ", Pair(installed.selection)});
        if (!Noticed(detection.message)) return false;
        if (!KeepInstalled(installed.selection)) return false;
        return !detection.Failed() || ChooseFresh();
    }

    // Same version: nothing to do when silent, else ask. A later version installed: refused
    // unless silent. Anything else installs over the installed product.
    bool DecideVersion(int order) {
        const WideString& name = facts_.platformPackage.name;
        if (!options_.reinstall && order == 0) {
            if (options_.silent) {
                Info({u"decision: the same version is installed; nothing to do"});
                return Stop(kExitSameVersion, kNoMessage);
            }
            if (!answers_.reinstall)
                return Ask(
                    Question::Ask(Question::Kind::kReinstall, kMsgSameVersionReinstall, name));
            if (*answers_.reinstall) {
                Info({u"decision: reinstall the same version (confirmed)"});
                change_ = Change::kReinstall;
            } else {
                Info({u"decision: reinstallation declined; msiexec runs with /qf"});
                change_ = Change::kMaintenance;
                AppendArgument(decided_, WideString(u"/qf"));
            }
            return true;
        }
        change_ = order == 0 ? Change::kReinstall : Change::kUpdate;
        if (order < 0) {
            if (!options_.silent) {
                log_.Error({u"decision: a later version is installed; refused"});
                return Stop(kExitNewerInstalled, kMsgNewerInstalled, name);
            }
            log_.Warning({u"decision: a later version is installed; installing over it (silent)"});
        } else {
            Info({order == 0 ? u"decision: reinstall the same version (-reinstall)"
                             : u"decision: update"});
        }
        return true;
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
                log_.Warning({u"the chosen level or language differs from the installed one"});
                if (!Noticed(kMsgKcLanguageDiffer)) return false;
            }
        }
        if (selection_.level == Level::kNone && installed.level != Level::kNone) {
            selection_.level = installed.level;
            Info({u"level ", TokenOf(selection_.level), u" kept from the installed product"});
        }
        if (selection_.language == Language::kNone && installed.language != Language::kNone) {
            selection_.language = installed.language;
            Info({u"language ", TokenOf(selection_.language), u" kept from the installed product"});
        }
        return true;
    }

    bool DialogAllowed() const { return options_.empty && HoldsPerLevelPackages(facts_.kit); }

    // Level and language for a fresh installation, or when the installed ones are unknown.
    bool ChooseFresh() {
        if (DialogAllowed()) return ShowSettings({});
        if (selection_.language == Language::kNone) {
            selection_.language = facts_.systemLanguage;
            Info({u"language ", TokenOf(selection_.language),
                  u" from the system's user interface language"});
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
            Info({u"dialog cancelled"});
            return Stop(kExitSuccess, kNoMessage);
        }
        if (answer.outcome == DialogOutcome::kFailed)
            return Fail(answer.error, kNoMessage, {u"the settings dialog could not be shown"});
        if (answer.choice.level != Level::kNone) selection_.level = answer.choice.level;
        if (answer.choice.language != Language::kNone) selection_.language = answer.choice.language;
        quickInstall_ = answer.quickInstall;
        Info({u"dialog confirmed with ", quickInstall_ ? u"Install (/qb): " : u"Next: ",
              Pair(selection_)});
        return true;
    }

    // The package for the platform, level and language, and who it is: with a ProductCode per
    // level and language it is not the platform package.
    bool ChoosePackage() {
        static const char16_t* const kFoundBy[] = {u"level and language", u"language alone",
                                                   u"platform alone"};
        PackageChoice choice = qv::ChoosePackage(facts_.kit, facts_.architecture, selection_);
        if (choice.path.empty())
            return Fail(
                kErrorFileNotFound, kMsgPackageNotFound,
                {u"no package for ", TokenOf(facts_.architecture), u", ", Pair(selection_)});
        Info(
            {u"package ", choice.path, u", found by ", kFoundBy[static_cast<int>(choice.foundBy)]});
        if (choice.path == facts_.platformPackage.path) {
            package_ = facts_.platformPackage;
            return true;
        }
        const std::optional<PackageRead>& read = facts_.installing;
        if (read && read->path == choice.path) {
            if (read->status != 0)
                return Fail(read->status, kMsgNoProductCode,
                            {u"package ", choice.path, u" unreadable"});
            package_ = read->identity;
            Info({u"its ProductCode ", package_.productCode});
            return true;
        }
        return Read(FactRequest::Kind::kPackage, choice.path);
    }

    void Install() {
        Plan& plan = decision_.plan;
        plan.change = Installed() ? change_ : Change::kFresh;
        plan.package = package_;
        plan.installedCode = facts_.installed.code;
        bool sameProduct = plan.change == Change::kUpdate || plan.change == Change::kReinstall;
        if (sameProduct && package_.productCode == facts_.installed.code)
            AppendArgument(decided_, WideString(u"REINSTALL=ALL REINSTALLMODE=vemus"));
        if (quickInstall_) AppendArgument(decided_, WideString(u"/qb"));
        plan.commandLine = BuildInstallerCommandLine(
            facts_.systemDirectory, package_.path, InstallerLogWords() + options_.args + decided_);
        plan.certificates = options_.root;
        plan.restart = options_.noreboot ? RestartPolicy::kLeaveToLaterRun
                       : options_.silent ? RestartPolicy::kRestartAtOnce
                                         : RestartPolicy::kAsk;
    }

    // msiexec writes its verbose log beside the one -log asked for, unless -args already ask
    // for one; and only where that log could be written, or msiexec would refuse to run.
    WideString InstallerLogWords() const {
        if (options_.log.empty() || facts_.setupLog.empty()) return WideString();
        for (const WideString& word : SplitCommandLine(u"x " + options_.args)) {
            const std::u16string& w = word.str();
            if (w.size() >= 2 && (w[0] == u'/' || w[0] == u'-') && FoldCase(w[1]) == u'L')
                return WideString();
        }
        return u"/l*v \"" + options_.log + u".msiexec.log\" ";
    }

    const Facts& facts_;
    const InstallOptions& options_;
    const Answers& answers_;
    Log& log_;
    Decision& decision_;
    Selection selection_;
    Change change_ = Change::kNone;
    bool quickInstall_ = false;
    WideString decided_;  // the words the decision adds after -args
    PackageIdentity package_;
};

}  // namespace

Decision Decide(const Facts& facts, const InstallOptions& options, const Answers& answers,
                Log& log) {
    Decision decision;
    Decider(facts, options, answers, log, decision).Decide();
    return decision;
}

}  // namespace qv
