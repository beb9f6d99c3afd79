#pragma once
// Every exit code setup.exe gives of its own accord, from ExitCodes.def; any other code is a
// Windows or installer code passed through from the step that failed.
#include <cstdint>

namespace qv {

enum ExitCode : uint32_t {
#define QV_EXIT_CODE(code, name, meaning, action) name = code,
#include "common/ExitCodes.def"
};

// All of the above.
constexpr ExitCode kExitCodes[] = {
#define QV_EXIT_CODE(code, name, meaning, action) name,
#include "common/ExitCodes.def"
};

// The table's meaning of a code, for the log; codes outside the table are the failing step's.
const char* ExitCodeMeaning(uint32_t code);

// The run's exit code for a failed step's Windows or installer status. The status must never
// read as one of setup.exe's own codes (3 is "same version installed, success"): an elevated run
// from a mapped drive fails its search with ERROR_PATH_NOT_FOUND, which is 3.
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

// A code the table calls passed through must reach the caller as it stands.
#define QV_PASSED_CODE(code, meaning, action) \
    static_assert(ExitCodeFor(code) == code, "passed-through code " #code " is rewritten");
#include "common/ExitCodes.def"

}  // namespace qv
