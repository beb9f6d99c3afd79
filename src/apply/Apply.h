#pragma once
#include <optional>

#include "common/Log.h"
#include "common/MessageIds.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What carrying out a plan needs of the run: where it acts and writes, who speaks to the person
// at the machine, and how a failed step ends the run.
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
    // Ends the run with a failed step's Windows or installer status, logged as `what`. Answers
    // the run's exit code.
    virtual int Fail(uint32_t status, LogLine what) = 0;
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

// Carries out an installation plan, then the restart sequence. Answers the exit code.
int Apply(ApplyContext& run, const Plan& plan, const Facts& facts);

}  // namespace qv
