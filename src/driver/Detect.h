#pragma once
#include "common/Log.h"
#include "driver/Plan.h"
#include "platform/Platform.h"

namespace qv {

// The facts a decision starts from; reads and logs, changes nothing.
Facts Detect(Platform& platform, const InstallOptions& options, Log& log);

// Reads the fact a decision asked for into `facts`; `lookOnly` creates no file.
void ReadFact(Platform& platform, const FactRequest& request, Facts& facts, Log& log,
              bool lookOnly);

}  // namespace qv
