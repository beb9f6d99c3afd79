#include "reboot/Restart.h"

#include "common/ResultCodes.h"

namespace qv {

namespace {
constexpr uint32_t kEwxRebootForce = 0x6;
constexpr uint32_t kShutdownReasonMajorApplication = 0x40000;
constexpr uint32_t kShutdownReasonPlannedInstallation = 0x40000 | 0x2 | 0x80000000;
constexpr int kShutdownRetries = 10;
}  // namespace

bool RestartSystem(Restarter& restarter, bool stationVisible) {
    if (!restarter.EnableShutdownPrivilege()) return false;
    if (stationVisible)
        return restarter.ExitWindows(kEwxRebootForce, kShutdownReasonMajorApplication);
    // A service's ExitWindowsEx may succeed and restart nothing; this one restarts, once
    // Windows is ready for it.
    for (int retry = 0;; ++retry) {
        uint32_t error = restarter.InitiateShutdown(kShutdownReasonPlannedInstallation);
        if (error == 0) return true;
        if ((error != kErrorMachineLocked && error != kErrorNotReady) || retry == kShutdownRetries)
            return false;
        restarter.Sleep(1000);
    }
}

}  // namespace qv
