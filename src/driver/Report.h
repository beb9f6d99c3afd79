#pragma once
#include <vector>

#include "driver/RunContext.h"
#include "model/Plan.h"

namespace qv {

// What a plan would do, for people, a line a fact to `report` and to the log: the package and
// msiexec's command line, the patch of the cached package, the certificates -root would add to
// -whatif's `stores` (whose "would add" lines name them), the tool, what happens about a
// restart: a case a step, in the plan's order.
void DescribePlan(const Plan& plan, const Facts& facts, const LateFacts& late,
                  CertificateStores& stores, std::vector<WideString>& report, Log& log);

// -whatif: the plan to the log and to standard output, or in a box where someone can see it,
// after the lines of `report`; nothing changes. Answers the exit code the run would give.
int ReportPlan(RunContext& run, const Facts& facts, const LateFacts& late, const Plan& plan,
               std::vector<WideString>& report);

}  // namespace qv
