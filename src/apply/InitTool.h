#pragma once
#include <cstdint>

#include "apply/ProcessRunner.h"
#include "common/Log.h"
#include "common/WideString.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

struct ToolResult {
    bool ran = false;
    uint32_t code = 0;  // exit code or start error, when it ran; kStillActive: ended past its limit
};

// `"<folder>ordo_tool.exe" /init`, quoted because the folder normally holds blanks.
WideString BuildToolCommandLine(const WideString& folder);

// Runs the product's initialisation tool from the folder of its component, and ends it after
// `seconds`. Not run when the component is broken or its path names no folder: a bare name
// would be searched for beside the program first.
ToolResult RunInitTool(Platform& platform, const WideString& productCode, uint32_t seconds,
                       Log& log);

}  // namespace qv
