#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/Processes.h"

namespace qv {

// Longest command line CreateProcessW takes, terminator excluded.
constexpr size_t kMaxCommandLine = 32766;

// Starts `commandLine` without a window and waits without a time limit. Answers the exit code,
// or the start error when the process cannot be created. A longer command line than Windows
// takes is refused with 206 rather than handed over to be cut, losing its last words.
uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine);

}  // namespace qv
