#include "actions/InitTool.h"

#include "actions/ProcessRunner.h"

namespace qv {

const char16_t kToolComponentCode[] = u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}";

WideString BuildToolCommandLine(const WideString& folder) {
    WideString line(u"\"");
    line.Append(folder);
    line.Append(u"ordo_tool.exe\" /init");
    return line;
}

ToolResult RunInitTool(Platform& platform, const WideString& productCode, Log& log) {
    WideString path;
    int state = platform.installer.ComponentPath(productCode, kToolComponentCode, path);
    ToolResult result;
    WideString folder = path.Folder();
    if (state == kInstallStateBroken || folder.empty()) {
        log.Warning({u"tool not run: component ", kToolComponentCode, u" of ", productCode,
                     u" is in state ", CodeText(static_cast<uint32_t>(state)), u" at \"", path,
                     u"\""});
        return result;
    }
    result.ran = true;
    result.code =
        RunAndLog(platform.processes, platform.system, log, u"tool", BuildToolCommandLine(folder));
    return result;
}

}  // namespace qv
