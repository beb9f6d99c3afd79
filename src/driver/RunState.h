#pragma once
#include <memory>

#include "common/MessageIds.h"
#include "common/WideString.h"
#include "driver/InstallOptions.h"
#include "driver/SetupLog.h"
#include "packages/PackageIdentity.h"
#include "platform/Platform.h"
#include "ui/SettingsDialog.h"

namespace qv {

// What one run knows and has decided, from the command line to the exit code.
struct RunState {
    explicit RunState(Platform& p) : platform(p), log(p.files, p.system) {}

    Platform& platform;
    SetupLog log;
    InstallOptions options;
    bool commandLinePresent = false;
    std::unique_ptr<InstanceLock> lock;  // no other setup.exe runs while it is held
    WideString platformPattern;          // "*x64*" or "*win32*"
    PackageIdentity package;             // the platform package, read once
    WideString installedCode;            // the installed product related to it
    bool update = false;                 // installs over the installed product
    WideString installedLevel;
    WideString installedLanguage;
    bool detected = false;  // the installed level and language were read
    DialogState dialog;
    PackageIdentity installing;      // the package the fallbacks chose, which msiexec gets
    bool restartUnrecorded = false;  // a restart is due that the marker could not record

    // Every box of the run is shown here, so that -silent is honoured in one place. Answers the
    // box's result; 0 when silent or when it could not be shown.
    int Say(MessageId text, const WideString& value = {});
    // Ends the run with a failed step's status, after logging it (as `what`, or as its
    // message's text) and showing the step's message.
    int Fail(const StepResult& result, LogLine what = {});
    // Records that a restart is due: in the marker, or in the run when it cannot be written.
    void RecordRestart(const WideString& why);
};

}  // namespace qv
