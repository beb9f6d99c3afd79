#pragma once
#include <cstdint>

#include "model/Choices.h"

namespace qv {

enum class DialogOutcome : uint8_t { kConfirmed, kCancelled, kFailed };

// How the dialog ended and what it chose.
struct DialogAnswer {
    DialogOutcome outcome = DialogOutcome::kFailed;
    Selection choice;           // confirmed: the level and language checked
    bool quickInstall = false;  // confirmed from the welcome view: install with "/qb"
    uint32_t error = 0;         // failed: why it could not be shown
};

}  // namespace qv
