#pragma once
#include "platform/SystemInfo.h"

namespace qv {

// Enables the shutdown privilege and asks for a forced restart; true when Windows accepts.
bool RestartSystem(SystemInfo& system);

}  // namespace qv
