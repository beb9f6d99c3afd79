#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

bool IsRebootExitCode(uint32_t code);

// Points the source list of the package's product at the package and runs the command line.
// Answers msiexec's exit code or the start error; its restart codes are success, with
// `restartNeeded`. When msiexec fails, the source list of a product that was installed is put
// back as it was, so that the product is found again as the package it came from.
uint32_t RunInstaller(Platform& platform, const PackageIdentity& package,
                      const WideString& commandLine, bool& restartNeeded, Log& log);

}  // namespace qv
