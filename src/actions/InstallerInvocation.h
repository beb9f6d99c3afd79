#pragma once
#include <cstdint>

#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// The package for platform, level and language, with the two fallbacks: without the level,
// then the platform alone. Answers the last search's error when none is found.
uint32_t FindInstallPackage(FileSystem& files, const WideString& platformPattern,
                            const WideString& kc, const WideString& lang, WideString& path);

// `"<system>\msiexec.exe" /i "<package>" <tail> REBOOT=R`; msiexec by full path, so that a
// planted one beside the program never runs.
WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail);

bool IsRebootExitCode(uint32_t code);

// Installs the package for platform, level and language with msiexec. Its restart codes are
// success, with `restartNeeded` set.
StepResult RunInstaller(Platform& platform, const WideString& productCode, const WideString& kc,
                        const WideString& lang, const WideString& tail, bool& restartNeeded);

}  // namespace qv
