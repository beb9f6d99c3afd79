#pragma once
// Every exit code setup.exe gives of its own accord. Deployment tools act on them, so a value
// never changes its meaning; any other code is a Windows or installer code passed through from
// the step that failed.
#include <cstdint>

namespace qv {

enum ExitCode : uint32_t {
    kExitSuccess = 0,
    kExitNotAdmin = 1,
    kExitSameVersion = 3,
    kExitNewerInstalled = 4,
    kExitRestartFailed = 7,
    // ERROR_MOD_NOT_FOUND, ERROR_PROC_NOT_FOUND: a system DLL or one of its functions is missing.
    kExitSystemDllMissing = 126,
    kExitSystemFunctionMissing = 127,
    // ERROR_FILENAME_EXCED_RANGE: a package path or a command line longer than Windows takes.
    kExitPathTooLong = 206,
    // ERROR_INSTALL_ALREADY_RUNNING: another setup.exe is running, in any session.
    kExitAlreadyRunning = 1618,
    // ERROR_INSTALL_PACKAGE_OPEN_FAILED: also stands for a failure passed through whose own
    // code is one of the above 1, 3, 4 or 7.
    kExitPackageOpenFailed = 1619,
    // ERROR_INSTALL_PACKAGE_INVALID: the platform package names no product.
    kExitPackageInvalid = 1620,
    // ERROR_INVALID_COMMAND_LINE: an unknown option, or a value option without its value.
    kExitBadCommandLine = 1639,
    // ERROR_SUCCESS_REBOOT_REQUIRED: installed, and a restart is due that setup.exe could
    // neither record nor, under -noreboot, carry out.
    kExitRebootRequired = 3010,
    // The string type's failures: E_OUTOFMEMORY, E_INVALIDARG.
    kExitOutOfMemory = 0x8007000E,
    kExitInvalidArgument = 0x80070057,
};

// All of the above, for the check that the README's table lists each.
constexpr ExitCode kExitCodes[] = {
    kExitSuccess,        kExitNotAdmin,          kExitSameVersion,           kExitNewerInstalled,
    kExitRestartFailed,  kExitSystemDllMissing,  kExitSystemFunctionMissing, kExitPathTooLong,
    kExitAlreadyRunning, kExitPackageOpenFailed, kExitPackageInvalid,        kExitBadCommandLine,
    kExitRebootRequired, kExitOutOfMemory,       kExitInvalidArgument,
};

// The exit code for a failure passed through from a step. Its Windows or installer code must
// never read as one of setup.exe's own (3 is "same version installed, success"): an elevated
// run from a mapped drive fails its search with ERROR_PATH_NOT_FOUND, which is 3.
constexpr uint32_t PassThrough(uint32_t code) {
    switch (code) {
        case kExitNotAdmin:
        case kExitSameVersion:
        case kExitNewerInstalled:
        case kExitRestartFailed:
            return kExitPackageOpenFailed;
        default:
            return code;
    }
}

}  // namespace qv
