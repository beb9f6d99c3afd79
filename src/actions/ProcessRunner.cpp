#include "actions/ProcessRunner.h"

#include "common/ExitCodes.h"

namespace qv {

uint32_t RunProcessAndWait(Processes& processes, const WideString& commandLine) {
    if (commandLine.size() > kMaxCommandLine) return kExitPathTooLong;
    uint32_t error = 0;
    std::unique_ptr<ChildProcess> child = processes.Start(commandLine, error);
    if (!child) return error;
    child->WaitForExit();
    uint32_t code = 0;
    if (!child->GetExitCode(code)) code = 0;
    return code;
}

}  // namespace qv
