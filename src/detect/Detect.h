#pragma once
#include "common/Log.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// The sealed files checked, held open, shared for reading only, until the run ends: what was
// checked is what msiexec reads.
using HeldFiles = std::vector<std::unique_ptr<HeldFile>>;

// The machine Windows runs on: IsWow64Process2's answer, or IsWow64Process's where it has none
// (which calls ARM64 64-bit as well).
Architecture ReadMachine(SystemInfo& system);

// The facts a decision starts from, with what recovery found (apply/Journal.h); reads and logs,
// changes nothing. The installed product's level and language are read from the package name
// recovery would put back, when it is that product's. The certificate files are read for -root
// or for the certificates a run ended from outside left to add, and then checked against the
// seal; `held` keeps the sealed files checked.
Facts Detect(Platform& platform, const InstallOptions& options, const Recovered& recovered,
             HeldFiles& held, Log& log);

// The facts that follow the decision, all read in one step into `late`, which is as new;
// `lookOnly` creates no file.
void ReadLateFacts(Platform& platform, const FactRequest& request, const Facts& facts,
                   HeldFiles& held, Log& log, bool lookOnly, LateFacts& late);

// The security the logs are created with: as SYSTEM, readable by SYSTEM and administrators only,
// since %SystemRoot%\Logs lets every user read and -args may hold secrets; else the folder's
// (null).
const char16_t* LogSecurity(SystemInfo& system);

}  // namespace qv
