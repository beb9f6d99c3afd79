#pragma once
#include <vector>

#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

// What a plan would do, for people, a line a fact: the package and msiexec's command line, the
// patch of the cached package, each certificate -root would add, the tool, what happens about a
// restart: a case a step, in the plan's order. Reads nothing but the messages.
std::vector<WideString> DescribePlan(Resources& resources, const Plan& plan, const Facts& facts);

}  // namespace qv
