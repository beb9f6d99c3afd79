#include "common/ExitCodes.h"

namespace qv {

const char* ExitCodeMeaning(uint32_t code) {
    switch (code) {
#define QV_EXIT_CODE(code, name, meaning, action) \
    case code:                                    \
        return meaning;
#define QV_PASSED_CODE(code, meaning, action) \
    case code:                                \
        return meaning;
#include "common/ExitCodes.def"
        default:
            return "the failing step's own code";
    }
}

}  // namespace qv
