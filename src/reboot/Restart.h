#pragma once
#include "platform/SystemInfo.h"

namespace qv {

// Enables the shutdown privilege and asks for a forced restart; true when Windows accepts.
// Interactive: ExitWindowsEx. From a service's session: InitiateSystemShutdownExW, asked again
// up to 10 times a second apart while Windows answers that it is locked or not ready.
bool RestartSystem(SystemInfo& system);

}  // namespace qv
