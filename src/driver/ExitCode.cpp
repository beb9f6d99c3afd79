#include "driver/ExitCode.h"

namespace qv {

// What the run ends with if every step succeeds: the plan's exit code, in one place.
uint32_t ExitOf(const Plan& plan, const Facts& facts) {
    if (plan.change == Change::kNone)
        return plan.failed ? ExitCodeFor(plan.exitCode) : plan.exitCode;
    const CheckOneProduct* check = plan.Find<CheckOneProduct>();
    if (check != nullptr && check->expectTwo) return kExitAnotherVersion;
    const Restart* restart = plan.Find<Restart>();
    bool pending = facts.markerPresent && restart != nullptr &&
                   (restart->policy == RestartPolicy::kLeaveToCaller ||
                    restart->policy == RestartPolicy::kLeaveToLaterRun);
    return pending ? kExitRebootRequired : kExitSuccess;
}

}  // namespace qv
