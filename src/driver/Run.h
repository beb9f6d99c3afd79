#pragma once
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// Process exit codes of the run besides the passed-through Windows and installer codes.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitNotAdmin = 1,
    kExitSameVersion = 3,
    kExitNewerInstalled = 4,
    kExitRestartRequestFailed = 7,
};

// The whole run, from the command-line tail to the exit code.
int Run(Platform& platform, const WideString& commandTail);

}  // namespace qv
