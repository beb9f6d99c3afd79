#include "actions/InstallerInvocation.h"

#include "actions/ProcessRunner.h"
#include "common/ResultCodes.h"
#include "packages/FileLookup.h"

namespace qv {

uint32_t FindInstallPackage(FileSystem& files, const WideString& platformPattern,
                            const WideString& kc, const WideString& lang, WideString& path,
                            int& fallback) {
    const WideString patterns[] = {platformPattern + kc + lang, platformPattern + lang,
                                   platformPattern};
    uint32_t status = kErrorFileNotFound;
    for (fallback = 0; fallback < 3; ++fallback) {
        status = FindPackageBesideProgram(files, patterns[fallback], path);
        if (status == 0) break;
    }
    return status;
}

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

uint32_t RunInstaller(Platform& platform, const WideString& package, const WideString& productCode,
                      const WideString& tail, bool& restartNeeded, Log& log) {
    WideString commandLine =
        BuildInstallerCommandLine(platform.system.GetSystemDirectory(), package, tail);

    // Point the product's sources at the new package; both fail harmlessly before it exists.
    platform.installer.SourceListClearAll(productCode.c_str());
    platform.installer.SourceListSetInfo(productCode.c_str(), kMsiInstallContextMachine,
                                         kMsiCodeProduct, u"PackageName",
                                         package.FileName().c_str());

    uint32_t code = RunAndLog(platform.processes, platform.system, log, u"msiexec", commandLine);
    restartNeeded = IsRebootExitCode(code);
    return restartNeeded ? 0 : code;
}

}  // namespace qv
