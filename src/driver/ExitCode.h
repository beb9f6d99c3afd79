#pragma once
#include <cstdint>

#include "common/ExitCodes.h"

namespace qv {

// The run's exit code for a failed step's Windows or installer status: the one mapping of the
// two. The rule itself is still PassThrough's, in common/, while Decide maps its own stops.
constexpr uint32_t ExitCodeFor(uint32_t status) {
    return PassThrough(status);
}

// A code the table calls passed through must reach the caller as it stands.
#define QV_PASSED_CODE(code, meaning, action) \
    static_assert(ExitCodeFor(code) == code, "passed-through code " #code " is rewritten");
#include "common/ExitCodes.def"

}  // namespace qv
