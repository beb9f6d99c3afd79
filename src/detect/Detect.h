#pragma once
#include "common/Log.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// The machine Windows runs on: IsWow64Process2's answer, or IsWow64Process's where it has none
// (which calls ARM64 64-bit as well).
Architecture ReadMachine(SystemInfo& system);

// The facts a decision starts from, with the run's own (`run`: what recovery found,
// journal/Journal.h); reads and logs, changes nothing. The installed product's level and
// language are read from its package name as recovery left it.
// The certificate files are read for -root or for the certificates a run ended from outside
// left to add, and then checked against the seal; `held` keeps the sealed files checked.
Facts Detect(Platform& platform, const InstallOptions& options, RunFacts run, HeldFiles& held,
             Log& log);

// The facts that follow the decision, all read in one step into `late`, which is as new.
// Whether msiexec's log can be written is told by creating it.
void ReadLateFacts(Platform& platform, const FactRequest& request, const Facts& facts,
                   HeldFiles& held, Log& log, LateFacts& late);

}  // namespace qv
