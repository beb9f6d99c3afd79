#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Processes.h"
#include "platform/SystemInfo.h"

namespace qv {

// Longest command line CreateProcessW takes, terminator excluded.
constexpr size_t kMaxCommandLine = 32766;

// Starts `commandLine` without a window and waits without a time limit. Answers the exit code,
// or the start error when the process cannot be created. A longer command line than Windows
// takes is refused with 206 rather than handed over to be cut, losing its last words.
// `started` tells the two apart where the caller asks.
uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine,
                           bool* started = nullptr);

// RunProcessAndWait, logged: the command line before it starts, then how it ended and how long
// it took. `name` names the program in the log ("msiexec").
uint32_t RunAndLog(Processes& processes, SystemInfo& system, Log& log, const char* name,
                   const WideString& commandLine);

}  // namespace qv
