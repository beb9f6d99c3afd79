#include "actions/InstallerInvocation.h"

#include "actions/ProcessRunner.h"
#include "common/ResultCodes.h"

namespace qv {

WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail) {
    WideString line(u"\"");
    line.Append(systemDirectory);
    line.Append(u"\\msiexec.exe\" /i \"");
    line.Append(packagePath);
    line.Append(u"\" ");
    line.Append(tail);
    line.Append(u" REBOOT=R");
    return line;
}

bool IsRebootExitCode(uint32_t code) {
    return code == kErrorSuccessRebootRequired || code == kErrorSuccessRestartRequired ||
           code == kErrorSuccessRebootInitiated;
}

uint32_t RunInstaller(Platform& platform, const PackageIdentity& package,
                      const WideString& commandLine, bool& restartNeeded, Log& log) {
    // A product installed from another package name would not take this one; it fails
    // harmlessly before the product exists.
    platform.installer.PointSourceList(package.productCode, package.path.FileName());
    uint32_t code = RunAndLog(platform.processes, platform.system, log, u"msiexec", commandLine);
    restartNeeded = IsRebootExitCode(code);
    return restartNeeded ? 0 : code;
}

}  // namespace qv
