#pragma once
#include <cstdint>

namespace qv {

// The calls that restart the machine.
class Restarter {
  public:
    virtual ~Restarter() = default;
    // Enables SeShutdownPrivilege in the process token; false unless it is really enabled (a
    // user who lacks it gets a successful AdjustTokenPrivileges that assigned nothing).
    virtual bool EnableShutdownPrivilege() = 0;
    // InitiateSystemShutdownExW of this machine: no message, no delay, applications forced
    // closed, restart. Answers 0 or the error.
    virtual uint32_t InitiateShutdown(uint32_t reason) = 0;
    virtual void Sleep(uint32_t milliseconds) = 0;
};

}  // namespace qv
