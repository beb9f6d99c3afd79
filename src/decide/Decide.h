#pragma once
#include "common/Log.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"

namespace qv {

// Writes why to `log`, a line a step; deciding again with more answers, or with the facts that
// follow the decision (`late`, null until read), writes the same lines first.
Decision Decide(const Facts& facts, const InstallOptions& options, const Answers& answers,
                const LateFacts* late, Log& log);

}  // namespace qv
