#pragma once
#include "common/MessageIds.h"
#include "common/WideString.h"
#include "driver/InstallOptions.h"
#include "platform/Platform.h"
#include "ui/SettingsDialog.h"

namespace qv {

// What one run knows and has decided, from the command line to the exit code.
struct RunState {
    explicit RunState(Platform& p) : platform(p) {}

    Platform& platform;
    InstallOptions options;
    bool commandLinePresent = false;
    WideString installedCode;  // the installed product related to the platform package
    WideString newCode;        // the platform package's ProductCode
    WideString productName;
    bool update = false;  // installs over the installed product
    WideString installedLevel;
    WideString installedLanguage;
    bool detected = false;  // the installed level and language were read
    DialogState dialog;

    // Every box of the run is shown here, so that -silent is honoured in one place. Answers the
    // box's result; 0 when silent or when it could not be shown.
    int Say(MessageId text, const WideString& value = {});
    // Ends the run with a failed step's status, after the step's message.
    int Fail(const StepResult& result);
};

}  // namespace qv
