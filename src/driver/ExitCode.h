#pragma once
#include <cstdint>

#include "common/ExitCodes.h"
#include "model/Plan.h"

namespace qv {

// The run's exit code for a failed step's Windows or installer status, the one mapping of the
// two. The status must never read as one of setup.exe's own codes (3 is "same version
// installed, success"): an elevated run from a mapped drive fails its search with
// ERROR_PATH_NOT_FOUND, which is 3.
constexpr uint32_t ExitCodeFor(uint32_t status) {
    switch (status) {
        case kExitNotAdmin:
        case kExitSameVersion:
        case kExitNewerInstalled:
        case kExitRestartFailed:
            return kExitPackageOpenFailed;
        default:
            return status;
    }
}

// What the run ends with if every step of `plan` succeeds.
uint32_t ExitOf(const Plan& plan, const Facts& facts);

// A code the table calls passed through must reach the caller as it stands.
#define QV_PASSED_CODE(code, meaning, action) \
    static_assert(ExitCodeFor(code) == code, "passed-through code " #code " is rewritten");
#include "common/ExitCodes.def"

}  // namespace qv
