#pragma once
// What a run chooses between: the platform, the KC level and the language of a package, as
// values. Only the package search turns them into a file pattern.
#include <cstdint>

#include "common/WideString.h"

namespace qv {

// The platform of a package, and of the machine (Windows on ARM64 runs x86 and x64 packages too).
enum class Architecture : uint8_t { kWin32, kX64, kArm64 };
enum class Level : uint8_t { kNone, kKc1, kKc2, kKc3 };
enum class Language : uint8_t { kNone, kEnglish, kRussian };

struct Selection {
    Level level = Level::kNone;
    Language language = Language::kNone;
};

}  // namespace qv
