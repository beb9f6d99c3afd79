#pragma once
// Which of the kit's packages a run installs.
#include <cstdint>

#include "common/WideString.h"
#include "model/Choices.h"
#include "model/KitFolder.h"

namespace qv {

// The first package whose name matches the pattern, as its full path; empty when none does.
WideString FindPackage(const KitFolder& kit, const WideString& pattern);

// Whether the kit is built per KC level: a package names "kc1".
bool HoldsPerLevelPackages(const KitFolder& kit);

// Which search found the package to install.
enum class FoundBy : uint8_t {
    kLevelAndLanguage,
    kLanguageAlone,  // the level left out: none was chosen, or the kit has no level packages
    kLevelAlone,     // another language of the level chosen
    kPlatformAlone,
    kNothing,
};

struct PackageChoice {
    WideString path;  // empty when nothing matched
    FoundBy foundBy = FoundBy::kNothing;
};

// The package for platform, level and language. A level chosen from a kit built per level is
// never replaced: only its language may fall back. Otherwise the search falls back to the
// language alone, then to the platform alone.
PackageChoice ChoosePackage(const KitFolder& kit, Architecture architecture,
                            const Selection& selection);

}  // namespace qv
