#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/WideString.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

bool IsRebootExitCode(uint32_t code);

// Points the source list of the package's product at the package and runs msiexec, named in the
// journal's record. Answers msiexec's exit code or the start error; its restart codes are
// success, with `restartNeeded`. When msiexec fails, the source list the product had (`before`,
// no package name when it had none) is put back, so that the product is found again as the
// package it came from.
uint32_t RunInstaller(Platform& platform, const InstallPackage& step, const SourceList& before,
                      bool& restartNeeded, Log& log);

}  // namespace qv
