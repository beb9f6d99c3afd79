#pragma once
// The decision's working parts, for Decide.cpp and DecideSteps.cpp only.
#include "common/Log.h"
#include "common/ResultCodes.h"
#include "decide/PackageChoice.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"

namespace qv {

// "level kc2, language eng", each "none" when not known.
WideString Pair(const Selection& selection);
// What message 127 names: "KC2 rus", "KC3", "eng".
WideString Wanted(const Selection& selection);

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

    void Decide();

  private:
    void Info(LogLine text) { log_.Info(text); }

    bool Stop(uint32_t exitCode, MessageId message, const WideString& value = {});
    bool Fail(uint32_t status, MessageId message, LogLine why, const WideString& value = {});
    bool Ask(Question question);
    // One way in, so the list grows by one instantiation.
    void Add(Step step) { decision_.plan.steps.push_back(std::move(step)); }
    // Nobody can answer: not silent, but off the visible window station. -whatif answers as
    // such a run would.
    bool Unattended() const {
        return !options_.silent && (!facts_.stationVisible || options_.whatif);
    }
    void Unasked(MessageId message);
    bool Noticed(MessageId message);

    bool Installed() const { return !facts_.installed.code.empty(); }

    bool OneProduct();
    bool Sealed(const WideString& broken);

    // A path too long to open is no package without a ProductCode.
    static MessageId UnreadMessage(uint32_t status) {
        return status == kErrorFilenameExcedRange ? kMsgCannotOpenNewPackage : kMsgNoProductCode;
    }

    bool Identify();
    bool Choose();
    bool DecideVersion(int order);
    bool SameLevel();
    bool KeepInstalled(const Selection& installed);

    bool DialogAllowed() const {
        return options_.empty && facts_.stationVisible && HoldsPerLevelPackages(facts_.kit);
    }

    bool ChooseFresh();
    bool ShowSettings(const Selection& preset);
    bool ChoosePackage();
    bool Repairing();
    bool Repairable();
    bool Missing();
    bool ReadLate(bool installing);
    bool Chosen();
    bool NotInstalled(const char* what);
    bool Removing();
    void Remove();
    WideString InstallerWords(bool append);
    void AddRestart();
    bool WarnOfTwoProducts();
    void AddRecovered();
    bool Finish();
    void Install();

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

}  // namespace qv
