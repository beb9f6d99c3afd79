#pragma once
#include <cstdint>

#include "actions/InitTool.h"
#include "platform/Platform.h"

namespace qv {

constexpr uint32_t kExitRestartFailed = 7;

// Enables the shutdown privilege and asks for a forced restart; true when Windows accepts.
bool RestartSystem(SystemInfo& system);

// The closing step of a run: records the tool's restart request, then restarts (asking unless
// silent) when a restart is pending and `noreboot` is off. Answers 0 or 7.
uint32_t HandlePendingRestart(Platform& platform, const ToolResult& tool, bool silent,
                              bool noreboot);

}  // namespace qv
