#include "actions/InstallerInvocation.h"

#include "actions/ProcessRunner.h"
#include "common/ResultCodes.h"
#include "packages/FileLookup.h"

namespace qv {

uint32_t FindInstallPackage(FileSystem& files, const WideString& platformPattern,
                            const WideString& kc, const WideString& lang, WideString& path) {
    const WideString patterns[] = {platformPattern + kc + lang, platformPattern + lang,
                                   platformPattern};
    uint32_t status = kErrorFileNotFound;
    for (const WideString& pattern : patterns) {
        status = FindFileBesideProgram(files, pattern, path);
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

StepResult RunInstaller(Platform& platform, const WideString& productCode, const WideString& kc,
                        const WideString& lang, const WideString& tail, bool& restartNeeded) {
    WideString package;
    if (uint32_t status = FindInstallPackage(platform.files, GetPlatformPattern(platform.system),
                                             kc, lang, package))
        return {status, kMsgPackageNotFound};
    WideString commandLine =
        BuildInstallerCommandLine(platform.system.GetSystemDirectory(), package, tail);

    // Point the product's sources at the new package; both fail harmlessly before it exists.
    platform.installer.SourceListClearAll(productCode.c_str());
    platform.installer.SourceListSetInfo(productCode.c_str(), kMsiInstallContextMachine,
                                         kMsiCodeProduct, u"PackageName",
                                         package.FileName().c_str());

    uint32_t code = RunProcessAndWait(platform.processes, commandLine);
    restartNeeded = IsRebootExitCode(code);
    return {restartNeeded ? 0 : code};
}

}  // namespace qv
