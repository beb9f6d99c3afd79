#pragma once
#include <optional>

#include "common/Log.h"
#include "common/MessageIds.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What carrying out a plan needs of the run: where it acts and writes, and who speaks to the
// person at the machine.
class ApplyContext {
  public:
    ApplyContext(Platform& p, Log& l) : platform(p), log(l) {}

    Platform& platform;
    Log& log;
    bool restartUnrecorded = false;  // a restart is due that the marker could not record
    bool installed = false;          // msiexec installed the package

    // The catalogue's message, "%s" filled with `value`, where someone may see it.
    virtual void Say(MessageId text, const WideString& value = {}) = 0;
    // The message as a yes-no question: yes or no; none where the box could not be shown.
    virtual std::optional<bool> Ask(MessageId question) = 0;
    // Records that a restart is due: in the marker, or in the run when it cannot be written.
    void RecordRestart(const char* why);

  protected:
    ~ApplyContext() = default;
};

// A box that could not be shown: the run goes on as where nobody sees a window.
extern const char kBoxNotShown[];

// Adds the kit's certificates (PlaceCertificates), after a line for each file that looks like
// one by its name and is not read.
void ImportCertificates(CertificateStores& stores, const KitFolder& kit,
                        const std::vector<CertificateFile>& files, Log& log);

// How the restart sequence that ends a plan came out.
enum class RestartOutcome : uint8_t {
    kNone,     // none pending, or declined
    kLeftDue,  // left to whoever started setup.exe, or recorded nowhere: 3010
    kStarted,  // 1641
    kFailed,   // could not be requested: 7
};

// What a plan's steps came to, as far as the exit code goes.
struct StepOutcomes {
    uint32_t failed = 0;       // the status of the step the run ended with; 0: none failed
    bool twoProducts = false;  // the upgrade left the product it was to replace
    RestartOutcome restart = RestartOutcome::kNone;
};

// Every step of `plan` succeeding, with a restart due at the end where `restartDue`: what a plan
// foresees, as nobody is asked.
StepOutcomes Succeeded(const Plan& plan, bool restartDue);

// The run's exit code: a stop's own, else the failed step's (ExitCodeFor), else what the plan and
// its steps came to. The one place that knows, for runs and plans alike.
uint32_t RunExitCode(const Plan& plan, const StepOutcomes& outcomes);

// Carries out an installation plan, then the restart sequence. Answers the exit code.
int Apply(ApplyContext& run, const Plan& plan, const Facts& facts);

}  // namespace qv
