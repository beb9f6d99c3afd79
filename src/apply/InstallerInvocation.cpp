#include "apply/InstallerInvocation.h"

#include "apply/ProcessRunner.h"
#include "common/ResultCodes.h"

namespace qv {

bool IsRebootExitCode(uint32_t code) {
    return code == kErrorSuccessRebootRequired || code == kErrorSuccessRestartRequired ||
           code == kErrorSuccessRebootInitiated;
}

uint32_t RunInstaller(Platform& platform, const InstallPackage& step, const SourceList& before,
                      bool& restartNeeded, Log& log) {
    Installer& installer = platform.installer;
    const WideString& product = step.package.productCode;
    // A product installed from another package name would not take this one; it fails
    // harmlessly before the product exists.
    installer.PointSourceList(product, step.package.path.FileName());
    uint32_t code = RunAndLog(platform.processes, platform.system, log, "msiexec", step.commandLine,
                              kNoLimit, &platform.registry);
    restartNeeded = IsRebootExitCode(code);
    if (restartNeeded) return 0;
    if (code != 0 && !before.packageName.empty()) {
        uint32_t status = installer.RestoreSourceList(product, before);
        log.Info({"source list of ", product, " back to ", before.packageName, " (",
                  CodeText(status), ")"});
    }
    return code;
}

}  // namespace qv
