#pragma once
#include "common/Log.h"
#include "model/InstallOptions.h"
#include "model/Plan.h"

namespace qv {

// Writes why to `log`, a line a step; deciding again with more answers or facts writes the same
// lines first.
Decision Decide(const Facts& facts, const InstallOptions& options, const Answers& answers,
                Log& log);

}  // namespace qv
