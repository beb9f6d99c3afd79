#pragma once
#include <vector>

#include "driver/RunContext.h"
#include "model/Plan.h"

namespace qv {

// What a plan would do, for people, a line a fact: the package and msiexec's command line, the
// patch of the cached package, each certificate -root would add, the tool, what happens about a
// restart: a case a step, in the plan's order. Reads nothing.
std::vector<WideString> DescribePlan(const Plan& plan, const Facts& facts, const LateFacts& late);

// -whatif: the plan to the log and to standard output, or in a box where someone can see it,
// after the lines of `report`; nothing changes. Answers the exit code the run would give.
int ReportPlan(RunContext& run, const Facts& facts, const LateFacts& late, const Plan& plan,
               std::vector<WideString>& report);

}  // namespace qv
