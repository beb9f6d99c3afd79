#include "reboot/Restart.h"

#include "common/ResultCodes.h"
#include "reboot/RebootMarker.h"
#include "ui/Messages.h"

namespace qv {

namespace {
constexpr uint32_t kEwxRebootForce = 0x6;
constexpr uint32_t kShutdownReasonMajorApplication = 0x40000;
}  // namespace

bool RestartSystem(SystemInfo& system) {
    std::unique_ptr<ProcessToken> token = system.OpenProcessToken();
    if (!token) return false;
    // AdjustTokenPrivileges succeeds without assigning a privilege the user lacks; only the
    // last error tells.
    if (!token->EnablePrivilege(u"SeShutdownPrivilege")) return false;
    if (system.GetLastError() != 0) return false;
    token.reset();
    return system.ExitWindowsEx(kEwxRebootForce, kShutdownReasonMajorApplication);
}

uint32_t HandlePendingRestart(Platform& platform, const ToolResult& tool, bool silent,
                              bool noreboot) {
    if (tool.ran && tool.code == kErrorSuccessRebootRequired) CreateRebootMarker(platform.registry);
    if (!IsRebootMarkerPresent(platform.registry)) return 0;
    if (noreboot) return 0;
    // Removed before asking, so a declined restart is not asked for again.
    DeleteRebootMarker(platform.registry, platform.system);
    if (!silent && ShowMessage(platform, kMsgRebootNow, kMsgCaptionWarning, kRestartQuestion) !=
                       kIdYes)
        return 0;
    if (RestartSystem(platform.system)) return 0;
    if (!silent) ShowMessage(platform, kMsgRestartFailed, kMsgCaptionWarning, kPlainBox);
    return kExitRestartFailed;
}

}  // namespace qv
