#include "driver/Lock.h"

#include "common/ResultCodes.h"

namespace qv {
namespace {

// In the administrators' namespace; the global name where Windows has no private namespaces.
const char16_t kPrivateLockName[] = u"QuorvaneCspSetup\\Lock";
const char16_t kGlobalLockName[] = u"Global\\QuorvaneCspSetup";
// Namespace and mutex alike: SYSTEM and administrators only. What anyone else could open, they
// could hold open, and keep every later run out.
const char16_t kLockSecurity[] = u"D:(A;;GA;;;SY)(A;;GA;;;BA)";

// The single-instance lock's name, in a namespace no standard user can squat: made, or opened
// when another run made it, or made again when that one went away in between. Windows opens none
// whose maker has closed it while others still hold it: a run that lost, for the moment it
// takes to let go, or one that opened it and took the lock when its maker ended. So one that
// stays there but cannot be opened for a second and a half is another run's: null, and 183.
const char16_t* LockName(RunContext& run, std::unique_ptr<LockNamespace>& space, uint32_t& error) {
    constexpr int kTries = 7;
    constexpr uint32_t kPause = 250;
    Processes& processes = run.platform.processes;
    bool unopened = false;
    for (int attempt = 0; attempt < kTries && !space; ++attempt) {
        if (unopened) run.platform.restarter.Sleep(kPause);
        space = processes.CreateLockNamespace(kLockSecurity, error);
        unopened = false;
        if (space || error != kErrorAlreadyExists) break;
        space = processes.OpenLockNamespace(error);
        unopened = !space;
    }
    if (unopened) {
        run.log.Info({"lock: the administrators' private namespace is there but cannot be opened (",
                      CodeText(error), ")"});
        error = kErrorAlreadyExists;
        return nullptr;
    }
    if (space) {
        run.log.Info({"lock: ", kPrivateLockName, " in the administrators' private namespace"});
        return kPrivateLockName;
    }
    run.log.Info({"lock: ", kGlobalLockName, ", no private namespace (", CodeText(error), ")"});
    return kGlobalLockName;
}

}  // namespace

std::unique_ptr<InstanceLock> TakeLock(RunContext& run, std::unique_ptr<LockNamespace>& space,
                                       uint32_t& error) {
    const char16_t* name = LockName(run, space, error);
    return name ? run.platform.processes.LockInstance(name, kLockSecurity, error) : nullptr;
}

void LookAtLock(RunContext& run, std::unique_ptr<LockNamespace>& space, uint32_t& error) {
    if (const char16_t* name = LockName(run, space, error))
        error = run.platform.processes.LockHeld(name);
}

}  // namespace qv
