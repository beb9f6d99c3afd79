#include "apply/Restart.h"

#include "common/ResultCodes.h"

namespace qv {

namespace {
constexpr uint32_t kShutdownReasonPlannedInstallation = 0x40000 | 0x2 | 0x80000000;
constexpr int kShutdownRetries = 10;
}  // namespace

bool RestartSystem(Restarter& restarter) {
    if (!restarter.EnableShutdownPrivilege()) return false;
    // Not ExitWindowsEx: it succeeds and restarts nothing for a caller that is not the
    // interactive user (SYSTEM on the user's desktop, credentials typed into an elevation prompt).
    for (int retry = 0;; ++retry) {
        uint32_t error = restarter.InitiateShutdown(kShutdownReasonPlannedInstallation);
        if (error == 0 || error == kErrorShutdownInProgress) return true;
        if ((error != kErrorMachineLocked && error != kErrorNotReady) || retry == kShutdownRetries)
            return false;
        restarter.Sleep(1000);
    }
}

}  // namespace qv
