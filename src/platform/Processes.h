#pragma once
#include <cstdint>
#include <memory>

#include "common/WideString.h"

namespace qv {

// No time limit: INFINITE.
constexpr uint32_t kNoLimit = 0xFFFFFFFF;

// A started child; the destructor closes the process and thread handles.
class ChildProcess {
  public:
    virtual ~ChildProcess() = default;
    // Waits at most `milliseconds`, or kNoLimit; true once it has ended.
    virtual bool WaitForExit(uint32_t milliseconds) = 0;
    // Ends it with exit code 1460 (ERROR_TIMEOUT), and waits a little for it to be gone.
    virtual void Terminate() = 0;
    // The exit code; false when it cannot be read.
    virtual bool ExitCode(uint32_t& code) = 0;
    // Who it is: its process id (high half) and the low half of its start time, together never
    // another process's, as an id is used again once its process has gone.
    virtual uint64_t Identity() = 0;
};

// A lock that one process of the whole machine holds at a time; released when destroyed.
class InstanceLock {
  public:
    virtual ~InstanceLock() = default;
};

// A private namespace whose boundary is the Administrators group: no standard user can make a
// name in it first, or deny administrators a name in it. Closed when destroyed.
class LockNamespace {
  public:
    virtual ~LockNamespace() = default;
};

class Processes {
  public:
    virtual ~Processes() = default;
    // Starts the command line without a window; on failure null and `error` holds the error.
    virtual std::unique_ptr<ChildProcess> Start(const WideString& commandLine, uint32_t& error) = 0;
    // Makes the lock's namespace with the security descriptor `security` (SDDL). Null when it
    // cannot: 183 (ERROR_ALREADY_EXISTS) when another run made it, 50 (ERROR_NOT_SUPPORTED)
    // where Windows has none, else the error.
    virtual std::unique_ptr<LockNamespace> CreateLockNamespace(const char16_t* security,
                                                               uint32_t& error) = 0;
    // Opens the namespace another run made; null with the error when it is not there (any more).
    virtual std::unique_ptr<LockNamespace> OpenLockNamespace(uint32_t& error) = 0;
    // Takes the machine-wide lock `name`, in every session, made with the security descriptor
    // `security` (SDDL). Null when it cannot: `error` is 183 (ERROR_ALREADY_EXISTS) or 5
    // (ERROR_ACCESS_DENIED) while another process holds it.
    virtual std::unique_ptr<InstanceLock> LockInstance(const char16_t* name,
                                                       const char16_t* security,
                                                       uint32_t& error) = 0;
    // Whether another process holds the lock `name`, looked at and left as it is: 0 when nobody
    // does, else the error a taker would get (183, or 5), or why it could not be told.
    virtual uint32_t LockHeld(const char16_t* name) = 0;
    // Waits at most `milliseconds` while the installer's execute lock is held (any installation
    // changing the machine), then as long again while the process of `identity` runs. False when
    // either still is.
    virtual bool WaitForInstallation(uint64_t identity, uint32_t milliseconds) = 0;
};

}  // namespace qv
