#pragma once
#include <cstdint>

#include "common/MessageIds.h"

namespace qv {

// What a step reports: 0 or the Windows or installer code of its failure and, where the user is
// told of that failure, the message to show. The driver shows it, unless nobody may see it.
struct StepResult {
    uint32_t status = 0;
    MessageId message = kNoMessage;

    bool Failed() const { return status != 0; }
};

}  // namespace qv
