#pragma once
// Every exit code setup.exe gives of its own accord, from ExitCodes.def; any other code is a
// Windows or installer code passed through from the step that failed.
#include <cstdint>

namespace qv {

enum ExitCode : uint32_t {
#define QV_EXIT_CODE(code, name, meaning, action) name = code,
#include "common/ExitCodes.def"
};

// All of the above.
constexpr ExitCode kExitCodes[] = {
#define QV_EXIT_CODE(code, name, meaning, action) name,
#include "common/ExitCodes.def"
};

// The table's meaning of a code, for the log; codes outside the table are the failing step's.
const char* ExitCodeMeaning(uint32_t code);

}  // namespace qv
