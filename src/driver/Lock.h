#pragma once
#include <memory>

#include "driver/RunContext.h"

namespace qv {

// The single-instance lock: null when it cannot be taken, with the error. `space` keeps the
// private namespace the lock lives in.
std::unique_ptr<InstanceLock> TakeLock(RunContext& run, std::unique_ptr<LockNamespace>& space,
                                       uint32_t& error);

// Whether another run holds the lock, looked at and left: `error` as a taker would get it.
void LookAtLock(RunContext& run, std::unique_ptr<LockNamespace>& space, uint32_t& error);

}  // namespace qv
