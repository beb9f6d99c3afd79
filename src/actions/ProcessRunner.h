#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/Processes.h"

namespace qv {

// Starts `commandLine` without a window and waits without a time limit. Answers the exit code,
// or the start error when the process cannot be created.
uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine);

}  // namespace qv
