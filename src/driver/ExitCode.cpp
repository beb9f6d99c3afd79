#include "driver/ExitCode.h"

#include "apply/ProcessRunner.h"

namespace qv {

// What the run ends with if every step succeeds: the plan's exit code, in one place.
uint32_t ExitOf(const Plan& plan, const Facts& facts) {
    if (plan.change == Change::kNone)
        return plan.failed ? ExitCodeFor(plan.exitCode) : plan.exitCode;
    // msiexec's command line as the run would refuse it (RunProcessAndWait).
    const InstallPackage* install = plan.Find<InstallPackage>();
    if (install && install->commandLine.size() > kMaxCommandLine) return kExitPathTooLong;
    // A removal's lines differ only in their ProductCodes.
    const Remove* remove = plan.Find<Remove>();
    if (remove && remove->commandLines[0].size() > kMaxCommandLine) return kExitPathTooLong;
    const CheckOneProduct* check = plan.Find<CheckOneProduct>();
    if (check != nullptr && check->expectTwo) return kExitAnotherVersion;
    const Restart* restart = plan.Find<Restart>();
    if (!facts.markerPresent || restart == nullptr) return kExitSuccess;
    // A plan asks nobody: a due restart is left to the caller or started at once.
    return restart->policy == RestartPolicy::kRestartAtOnce ? kExitRestartStarted
                                                            : kExitRebootRequired;
}

}  // namespace qv
