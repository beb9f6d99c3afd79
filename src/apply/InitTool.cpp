#include "apply/InitTool.h"

#include "apply/ProcessRunner.h"
#include "common/ResultCodes.h"

namespace qv {

WideString BuildToolCommandLine(const WideString& folder) {
    return Joined({"\"", folder, "ordo_tool.exe\" /init"});
}

ToolResult RunInitTool(Platform& platform, const WideString& productCode, uint32_t seconds,
                       Log& log) {
    WideString path;
    int state = platform.installer.ComponentPath(productCode, kToolComponentCode, path);
    ToolResult result;
    WideString folder = path.Folder();
    if (state == kInstallStateBroken || folder.empty()) {
        log.Warning({"tool not run: component ", kToolComponentCode, " of ", productCode,
                     " is in state ", CodeText(static_cast<uint32_t>(state)), " at \"", path,
                     "\""});
        return result;
    }
    result.ran = true;
    result.code = RunAndLog(platform.processes, platform.system, log, "tool",
                            BuildToolCommandLine(folder), seconds * 1000);
    // The run's exit code does not change; whoever reads the log must see it all the same.
    if (result.code != 0 && result.code != kErrorSuccessRebootRequired &&
        result.code != kStillActive)
        log.Warning({"the tool failed (", CodeText(result.code),
                     "): ", platform.system.DescribeError(result.code)});
    return result;
}

}  // namespace qv
