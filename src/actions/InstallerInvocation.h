#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// The package for platform, level and language, with the two fallbacks: without the level,
// then the platform alone. `fallback` tells which of the three patterns found it (0 to 2).
// Answers the last search's error when none is found.
uint32_t FindInstallPackage(FileSystem& files, const WideString& platformPattern,
                            const WideString& kc, const WideString& lang, WideString& path,
                            int& fallback);

// `"<system>\msiexec.exe" /i "<package>" <tail> REBOOT=R`; msiexec by full path, so that a
// planted one beside the program never runs.
WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail);

bool IsRebootExitCode(uint32_t code);

// Points the product's source list at `package` and installs it with msiexec. Answers
// msiexec's exit code or the start error; its restart codes are success, with `restartNeeded`.
uint32_t RunInstaller(Platform& platform, const WideString& package, const WideString& productCode,
                      const WideString& tail, bool& restartNeeded, Log& log);

}  // namespace qv
