#include "apply/ProcessRunner.h"

#include "common/ResultCodes.h"

namespace qv {

uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine, bool* started) {
    if (started != nullptr) *started = false;
    if (commandLine.size() > kMaxCommandLine) return kErrorFilenameExcedRange;
    uint32_t error = 0;
    std::unique_ptr<ChildProcess> child = processes.Start(commandLine, error);
    if (!child) return error;
    if (started != nullptr) *started = true;
    child->WaitForExit();
    uint32_t code = 0;
    if (!child->ExitCode(code)) code = 0;
    return code;
}

uint32_t RunAndLog(Processes& processes, SystemInfo& system, Log& log, const char* name,
                   const WideString& commandLine) {
    LogPiece program = name;  // counted once
    log.Info({program, ": ", commandLine});
    uint32_t start = system.TickCount();
    bool started = false;
    uint32_t code = RunProcessAndWait(processes, commandLine, &started);
    if (!started) {
        log.Error({program, " could not be started"}, code);
        return code;
    }
    log.Info({program, " ended with ", CodeText(code), " after ",
              Decimal(system.TickCount() - start), " ms"});
    return code;
}

}  // namespace qv
