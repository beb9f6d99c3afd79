#pragma once
#include "apply/Apply.h"
#include "platform/Restarter.h"

namespace qv {

// Enables the shutdown privilege and asks Windows for a forced restart, a planned one for an
// installation, asked again up to 10 times a second apart while Windows answers that it is
// locked or not ready. True when Windows accepts, or is shutting down already.
bool RestartSystem(Restarter& restarter);

// The closing step of a run: restarts as the policy says when a restart is pending.
RestartOutcome HandlePendingRestart(ApplyContext& run, RestartPolicy policy);

}  // namespace qv
