#pragma once
#include "apply/Apply.h"
#include "detect/Detect.h"
#include "driver/SetupLog.h"
#include "driver/Voice.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What every stage of a run shares: the platform, the options, the log and the one voice. The
// log is written through `logFiles`, the real files even where the platform is -whatif's.
struct RunContext final : ApplyContext {
    RunContext(Platform& p, FileSystem& logFiles, InstallOptions& o)
        : ApplyContext(p, setupLog), options(o), setupLog(logFiles, p.system), voice(p, o.silent) {}

    InstallOptions& options;
    SetupLog setupLog;
    Voice voice;
    HeldFiles held;  // the sealed files checked, until the run ends

    void Say(MessageId text, const WideString& value) override;
    std::optional<bool> Ask(MessageId question) override;
};

}  // namespace qv
