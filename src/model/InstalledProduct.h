#pragma once
// The product already on the machine: which one, its version, its level and language.
#include "common/StepResult.h"
#include "common/WideString.h"
#include "model/Choices.h"

namespace qv {

struct InstalledProduct {
    WideString code;
    WideString version;
    StepResult versionRead;  // a failed read of the version, with its message
    WideString other;        // a second installed related product, left by a failed update
};

// What the installed product's level and language were found to be, and how the detection
// ended: a failure is reported and leads to the fresh installation's choices.
struct InstalledSelection {
    Selection selection;
    StepResult detection;
};

}  // namespace qv
