#include "common/CommandLine.h"
#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "decide/Decider.h"
#include "decide/VersionCheck.h"
#include "model/Choices.h"

namespace qv {

// What follows the decision is read in one step, once it is known what msiexec will run:
// the package to install when it is not the platform's, its cabinets and the certificate
// files of a sealed kit, whether msiexec's log can be written, and for -whatif the tool's
// folder. The decision is then made again with them.
bool Decider::ReadLate(bool installing) {
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
bool Decider::Chosen() {
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

// Every product the kit relates to, whatever its level and language; its own removal actions
// run as they are meant to, so no cached package is patched.
bool Decider::Removing() {
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

void Decider::Remove() {
    Plan& plan = decision_.plan;
    if (selection_.level != Level::kNone || selection_.language != Language::kNone)
        Info({"-kc and -lang ignored by -uninstall (", Pair(selection_), ")"});
    plan.change = Change::kRemove;
    WideString words = InstallerWords(true);
    qv::Remove removal;
    for (const WideString& code : facts_.relatedInstalled) {
        Info({"decision: remove ", code});
        removal.products.push_back(code);
        removal.commandLines.push_back(Joined(
            {"\"", facts_.systemDirectory, "\\msiexec.exe\" /x ", code, " ", words, " REBOOT=R"}));
    }
    Add(std::move(removal));
    AddRestart();
}

// msiexec's log, its one interface switch and the -args words: /qn where nobody would see
// its interface, else the one decided (/qf, /qb), unless -args choose one; there, one that
// shows a window gives way to /qn, since msiexec would wait for ever on its own error box.
// A removal of several products adds to one log.
WideString Decider::InstallerWords(bool append) {
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
void Decider::AddRestart() {
    Add(Restart{options_.noreboot ? RestartPolicy::kLeaveToLaterRun
                : options_.silent ? RestartPolicy::kRestartAtOnce
                : Unattended()    ? RestartPolicy::kLeaveToCaller
                                  : RestartPolicy::kAsk});
}

// Where the installer's upgrade will not remove the product installed under another code,
// two would remain; the run checks after msiexec and fails then.
bool Decider::WarnOfTwoProducts() {
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
void Decider::AddRecovered() {
    const Recovered& recovered = facts_.recovered;
    if (!recovered.forward) return;
    if (recovered.certificates) Add(AddCertificates{});
    Add(RunTool{recovered.product, options_.toolSeconds});
}

// Nothing to install, but what a run ended from outside left is done: a finished step is
// never hidden behind "nothing to do".
bool Decider::Finish() {
    Info({"decision: the same version is installed; what the run ended left to do"});
    decision_.plan.change = Change::kFinish;
    AddRecovered();
    AddRestart();
    return false;
}

void Decider::Install() {
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

}  // namespace qv
