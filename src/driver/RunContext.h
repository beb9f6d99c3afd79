#pragma once
#include "apply/Apply.h"
#include "detect/Detect.h"
#include "driver/SetupLog.h"
#include "driver/Voice.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What every stage of a run shares: the platform, the options, the log and the one voice.
struct RunContext final : ApplyContext {
    explicit RunContext(Platform& p)
        : ApplyContext(p, setupLog), setupLog(p.files, p.system), voice(p, options.silent) {}

    InstallOptions options;
    SetupLog setupLog;
    Voice voice;
    HeldFiles held;  // the sealed files checked, until the run ends

    void Say(MessageId text, const WideString& value) override;
    std::optional<bool> Ask(MessageId question) override;
};

}  // namespace qv
