#include "reboot/Restart.h"

namespace qv {

namespace {
constexpr uint32_t kEwxRebootForce = 0x6;
constexpr uint32_t kShutdownReasonMajorApplication = 0x40000;
}  // namespace

bool RestartSystem(SystemInfo& system) {
    if (!system.EnableShutdownPrivilege()) return false;
    return system.ExitWindowsEx(kEwxRebootForce, kShutdownReasonMajorApplication);
}

}  // namespace qv
