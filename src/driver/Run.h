#pragma once
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// The whole run, from the command-line tail to the exit code.
int Run(Platform& platform, const WideString& commandTail);

}  // namespace qv
