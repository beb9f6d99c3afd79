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

// The exit code for a failure passed through from a step (the driver's ExitCodeFor; Decide's
// stops until they carry the raw status). Its Windows or installer code must never read as one
// of setup.exe's own (3 is "same version installed, success"): an elevated
// run from a mapped drive fails its search with ERROR_PATH_NOT_FOUND, which is 3.
constexpr uint32_t PassThrough(uint32_t code) {
    switch (code) {
        case kExitNotAdmin:
        case kExitSameVersion:
        case kExitNewerInstalled:
        case kExitRestartFailed:
            return kExitPackageOpenFailed;
        default:
            return code;
    }
}

// The table's meaning of a code, for the log; codes outside the table are the failing step's.
const char* ExitCodeMeaning(uint32_t code);

}  // namespace qv
