#pragma once
// A run in three stages: detect reads facts and changes nothing; decide turns facts, options and
// the answers given into a plan, a question to ask or a fact still to read; apply carries the
// plan out. Deciding is pure, so that a plan can be looked at before anything happens.
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

#include "common/MessageIds.h"
#include "common/StepResult.h"
#include "common/WideString.h"
#include "model/CertificateFile.h"
#include "model/Choices.h"
#include "model/DialogAnswer.h"
#include "model/InstalledProduct.h"
#include "model/KitFolder.h"
#include "model/PackageIdentity.h"
#include "model/Seal.h"

namespace qv {

// A package read on demand: the platform package names the product, but with a ProductCode per
// level and language the one to install must be read too.
struct PackageRead {
    WideString path;
    uint32_t status = 0;
    PackageIdentity identity;
};

// What a run ended from outside left, found before this run decides (journal/Journal.h).
struct Recovered {
    WideString product;  // the product it was installing
    // msiexec had committed it: the steps still to do come first in this run's plan.
    bool forward = false;
    bool certificates = false;  // with -root
    bool busy = false;          // an installation still runs: nothing is decided (1618)
};

// What Windows and the machine are.
struct MachineFacts {
    Architecture machine = Architecture::kWin32;       // what Windows runs on
    Architecture architecture = Architecture::kWin32;  // the packages' platform
    Language systemLanguage = Language::kEnglish;      // the system's user interface language
    WideString systemDirectory;
};

// What the kit holds, as far as the run may use it.
struct KitFacts {
    KitFolder kit;
    // A sealed kit: only the files of its seal are used, each checked before, and held open,
    // shared for reading only, until msiexec is done with it.
    Seal seal;
    WideString sealBroken;  // the platform package, when it is not as sealed
    // The kit's certificate files, read once for -root: the bytes checked are the bytes added.
    std::vector<CertificateFile> certificateFiles;
    // The platform package: 0, or why it could not be found (a search error) or read.
    uint32_t platformStatus = 0;
    PackageIdentity platformPackage;
};

// What is installed that the kit relates to.
struct ProductFacts {
    InstalledProduct installed;  // empty code: no related product installed
    // Every installed product the kit's UpgradeCode relates to; read for a removal only.
    std::vector<WideString> relatedInstalled;
    // The installed product's level and language; none read for a removal.
    InstalledSelection installedSelection;
    bool markerPresent = false;  // a restart left pending by an earlier run
};

// What the run itself found before detection: who can see it, what else runs, what an earlier
// run left.
struct RunFacts {
    // The window station is the interactive one. Off it nobody can answer: nothing is asked, and
    // each question takes the answer that changes least.
    bool stationVisible = true;
    bool otherRun = false;  // -whatif found another run holding the lock, or an installation
    // msiexec's log goes beside this (the setup log, or after a folder's name for it locally);
    // empty when there is none.
    WideString setupLog;
    Recovered recovered;
};

struct Facts : MachineFacts, KitFacts, ProductFacts, RunFacts {};

// What follows the decision, read in one step once it knows what msiexec will run.
struct LateFacts {
    std::optional<PackageRead> package;  // the package to install, when not the platform's
    WideString sealBroken;  // the first of its files, cabinets or certificate files not as sealed
    // msiexec's log beside the setup log; empty when none is asked for or it cannot be written.
    WideString msiexecLog;
    // -whatif: the tool's folder once the product is installed (empty: not installed yet).
    WideString toolFolder;
};

// A question only a person can answer, asked by the driver between decisions.
struct Question {
    enum class Kind : uint8_t { kNotice, kReinstall, kSettings, kRemove } kind = Kind::kNotice;
    MessageId message = kNoMessage;  // notices and the reinstall question
    WideString value;                // the message's "%s"
    Selection preset;                // the settings dialog's

    static Question Ask(Kind kind, MessageId message, const WideString& value = {}) {
        Question question;
        question.kind = kind;
        question.message = message;
        question.value = value;
        return question;
    }
};

struct Answers {
    std::optional<bool> reinstall;  // the same version: reinstall it?
    std::optional<bool> remove;     // remove the product?
    std::optional<DialogAnswer> settings;
    uint64_t noticesShown = 0;  // NoticeBit of each
};

// The bit of a message in Answers::noticesShown: one of its own for every message.
constexpr uint64_t NoticeBit(MessageId message) {
    return uint64_t{1} << (message - kMsgNotAdmin);
}
static_assert(kMsgLast - kMsgNotAdmin < 64, "a notice shares its bit with another");

// The facts that follow a decision: what it needs read before it can end in a plan.
struct FactRequest {
    WideString package;         // the package to install, when not the platform's
    WideString sealedPackage;   // a sealed kit: the package whose cabinets are checked
    bool installerLog = false;  // whether msiexec's log can be written
    bool toolFolder = false;    // -whatif: the folder of the tool of the package's product
};

// What happens about a restart that is due at the end.
enum class RestartPolicy : uint8_t {
    kLeaveToLaterRun,  // -noreboot: the marker stays, and 3010 tells whoever started the run
    kRestartAtOnce,    // -silent
    kAsk,
    kLeaveToCaller,  // nobody to ask: the marker stays, and 3010 tells whoever started the run
};

enum class Change : uint8_t {
    kNone,         // the run stops with `exitCode`
    kFresh,        // nothing related installed
    kUpdate,       // over another version, or a downgrade in a silent run
    kReinstall,    // the same version again
    kMaintenance,  // the same version, reinstallation declined: msiexec's own dialogs
    kRemove,       // every related product removed
    kRepair,       // the installed product from the kit's package of its version, level, language
    kFinish,       // only what a run ended from outside left to do
};

// The steps of a plan, each with what it needs, in the order a plan lists them. A new step is a
// struct here, a case in Apply and one in DescribePlan; std::visit refuses a missing one.

// The cached package of the product installed before (empty: none) skips the removal actions
// that the installer's upgrade would run.
struct PatchCachedPackage {
    WideString installedCode;
};
struct InstallPackage {
    PackageIdentity package;  // what msiexec installs
    WideString commandLine;
    bool root = false;  // the kit's certificates are trusted after it
};
// The installer's upgrade keeps an old product of the same version, or one whose version differs
// in the fourth field only: two registered providers are no success.
struct CheckOneProduct {
    WideString before;       // installed before, under another code than the package's
    PackageIdentity after;   // the package installed
    bool expectTwo = false;  // the decision foresees that `before` stays
};
struct AddCertificates {};
// The tool's component in the product: its folder is the tool's.
inline constexpr char16_t kToolComponentCode[] = u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}";
struct RunTool {
    WideString productCode;
    uint32_t seconds = 0;  // its time limit
};
// Each related product's own removal, every one tried whatever the others did.
struct Remove {
    std::vector<WideString> products;
    std::vector<WideString> commandLines;  // msiexec /x of each, in the same order
};
struct Restart {
    RestartPolicy policy = RestartPolicy::kAsk;
};

using Step = std::variant<PatchCachedPackage, InstallPackage, CheckOneProduct, AddCertificates,
                          RunTool, Remove, Restart>;

struct Plan {
    Change change = Change::kNone;
    // A stop: the exit code and the box to show, if any, with its value.
    uint32_t exitCode = 0;
    bool failed = false;  // `exitCode` is the failing step's own code, passed through
    MessageId message = kNoMessage;
    WideString messageValue;
    std::vector<Step> steps;  // none for a stop
    // -whatif: the NoticeBit of each box a person would have seen or answered, where the run it
    // describes asks nobody.
    uint64_t unasked = 0;

    template <typename T>
    const T* Find() const {
        for (const Step& step : steps)
            if (const T* found = std::get_if<T>(&step)) return found;
        return nullptr;
    }
};

struct Decision {
    enum class Kind : uint8_t { kPlan, kAsk, kRead } kind = Kind::kPlan;
    Plan plan;
    Question question;
    FactRequest request;
};

}  // namespace qv
