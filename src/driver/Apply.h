#pragma once
#include "apply/InitTool.h"
#include "driver/RunContext.h"
#include "model/Plan.h"

namespace qv {

// Carries out an installation plan, then the restart sequence. Answers the exit code.
int Apply(RunContext& run, const Plan& plan, const Facts& facts);

// The closing step of a run: records the tool's restart request, then restarts as the policy
// says when a restart is pending. Answers 0, 7, or 3010 for a restart due that is left to the
// caller or recorded nowhere.
int HandlePendingRestart(RunContext& run, RestartPolicy policy, const ToolResult& tool);

}  // namespace qv
