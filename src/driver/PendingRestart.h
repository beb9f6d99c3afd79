#pragma once
#include "actions/InitTool.h"
#include "driver/RunState.h"

namespace qv {

// The closing step of a run: records the tool's restart request, then restarts (asking unless
// silent) when a restart is pending and -noreboot is off. Answers 0 or 7.
int HandlePendingRestart(RunState& run, const ToolResult& tool);

}  // namespace qv
