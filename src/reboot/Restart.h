#pragma once
#include "platform/Restarter.h"

namespace qv {

// Enables the shutdown privilege and asks for a forced restart; true when Windows accepts.
// On the visible window station: ExitWindowsEx. Elsewhere (a service, SYSTEM):
// InitiateSystemShutdownExW, asked again up to 10 times a second apart while Windows answers
// that it is locked or not ready.
bool RestartSystem(Restarter& restarter, bool stationVisible);

}  // namespace qv
