#pragma once
#include <vector>

#include "model/Plan.h"

namespace qv {

// What a plan would do, for people, a line a fact: the package and msiexec's command line, the
// patch of the cached package, each certificate -root would add, the tool, what happens about a
// restart: a case a step, in the plan's order. Reads nothing.
std::vector<WideString> DescribePlan(const Plan& plan, const Facts& facts, const LateFacts& late);

}  // namespace qv
