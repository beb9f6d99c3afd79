#include "actions/ProcessRunner.h"

#include "common/ExitCodes.h"

namespace qv {

uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine, bool* started) {
    if (started != nullptr) *started = false;
    if (commandLine.size() > kMaxCommandLine) return kExitPathTooLong;
    uint32_t error = 0;
    std::unique_ptr<ChildProcess> child = processes.Start(commandLine, error);
    if (!child) return error;
    if (started != nullptr) *started = true;
    child->WaitForExit();
    uint32_t code = 0;
    if (!child->ExitCode(code)) code = 0;
    return code;
}

uint32_t RunAndLog(Processes& processes, SystemInfo& system, Log& log, const char16_t* name,
                   const WideString& commandLine) {
    log.Info({name, u": ", commandLine});
    uint32_t start = system.TickCount();
    bool started = false;
    uint32_t code = RunProcessAndWait(processes, commandLine, &started);
    if (!started) {
        log.Error({name, u" could not be started"}, code);
        return code;
    }
    log.Info({name, u" ended with ", CodeText(code), u" after ",
              Decimal(system.TickCount() - start), u" ms"});
    return code;
}

}  // namespace qv
