#include "apply/ProcessRunner.h"

#include "common/ResultCodes.h"
#include "journal/Journal.h"

namespace qv {

uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine, bool* started,
                           uint32_t limit, Registry* journal) {
    if (started != nullptr) *started = false;
    if (commandLine.size() > kMaxCommandLine) return kErrorFilenameExcedRange;
    uint32_t error = 0;
    std::unique_ptr<ChildProcess> child = processes.Start(commandLine, error);
    if (!child) return error;
    if (started != nullptr) *started = true;
    if (journal != nullptr) JournalStarted(*journal, *child);
    if (!child->WaitForExit(limit)) {
        child->Terminate();
        return kStillActive;
    }
    uint32_t code = 0;
    if (!child->ExitCode(code)) code = 0;
    return code;
}

uint32_t RunAndLog(Processes& processes, SystemInfo& system, Log& log, const char* name,
                   const WideString& commandLine, uint32_t limit, Registry* journal) {
    LogPiece program = name;  // counted once
    log.Info({program, ": ", commandLine});
    uint32_t start = system.TickCount();
    bool started = false;
    uint32_t code = RunProcessAndWait(processes, commandLine, &started, limit, journal);
    if (!started) {
        log.Error({program, " could not be started"}, code);
        return code;
    }
    log.Info({program, " ended with ", CodeText(code), " after ",
              Decimal(system.TickCount() - start), " ms"});
    return code;
}

}  // namespace qv
