#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Processes.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"

namespace qv {

// Longest command line CreateProcessW takes, terminator excluded.
constexpr size_t kMaxCommandLine = 32766;
// STILL_ACTIVE, which Windows says no program is to exit with: it ran past its limit and was
// ended.
constexpr uint32_t kStillActive = 259;

// Starts `commandLine` without a window and waits for it at most `limit` ms (kNoLimit: as long
// as it runs). Answers the exit code, or kStillActive once it ran past the limit and was ended,
// or the start error when the process cannot be created. A longer command line than Windows
// takes is refused with 206 rather than handed over to be cut, losing its last words.
// `started` tells the start error apart where the caller asks. With `journal`, the program
// started is named in the journal's record, for a run ended from outside to wait for it.
uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine,
                           bool* started = nullptr, uint32_t limit = kNoLimit,
                           Registry* journal = nullptr);

// RunProcessAndWait, logged: the command line before it starts, then how it ended and how long
// it took. `name` names the program in the log ("msiexec").
uint32_t RunAndLog(Processes& processes, SystemInfo& system, Log& log, const char* name,
                   const WideString& commandLine, uint32_t limit = kNoLimit,
                   Registry* journal = nullptr);

}  // namespace qv
