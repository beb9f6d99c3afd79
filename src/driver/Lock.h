#pragma once
#include <memory>

#include "driver/RunContext.h"

namespace qv {

// The single-instance lock: taken, or with `look` only looked at (null, and `error` as a taker
// would get). `space` keeps the private namespace the lock lives in.
std::unique_ptr<InstanceLock> TakeLock(RunContext& run, std::unique_ptr<LockNamespace>& space,
                                       uint32_t& error, bool look);

}  // namespace qv
