#pragma once
#include "common/StepResult.h"
#include "detect/Detect.h"
#include "driver/SetupLog.h"
#include "driver/Voice.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What every stage of a run shares: the platform, the options, the log and the one voice.
struct RunContext {
    explicit RunContext(Platform& p)
        : platform(p), log(p.files, p.system), voice(p, options.silent) {}

    Platform& platform;
    InstallOptions options;
    SetupLog log;
    Voice voice;
    HeldFiles held;                  // the sealed files checked, until the run ends
    bool restartUnrecorded = false;  // a restart is due that the marker could not record

    // Ends the run with a failed step's status, after logging it (as `what`, or as its
    // message's text) and showing the step's message.
    int Fail(const StepResult& result, LogLine what = {});
    // Records that a restart is due: in the marker, or in the run when it cannot be written.
    void RecordRestart(const char* why);
};

}  // namespace qv
