#pragma once
#include "common/Log.h"
#include "driver/Plan.h"
#include "platform/Platform.h"

namespace qv {

// The machine Windows runs on: IsWow64Process2's answer, or IsWow64Process's where it has none
// (which calls ARM64 64-bit as well).
Architecture ReadMachine(SystemInfo& system);

// The facts a decision starts from; reads and logs, changes nothing.
// `held` keeps the sealed files checked.
Facts Detect(Platform& platform, const InstallOptions& options, HeldFiles& held, Log& log);

// Reads the fact a decision asked for into `facts`; `lookOnly` creates no file.
void ReadFact(Platform& platform, const FactRequest& request, Facts& facts, HeldFiles& held,
              Log& log, bool lookOnly);

}  // namespace qv
