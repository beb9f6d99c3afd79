#pragma once
// What a run chooses between: the platform, the KC level and the language of a package, as
// values; their names, and the package search's file patterns.
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

// The token a package's name carries ("x64", "kc2", "rus"), which the log shows too; "" for
// none.
const char16_t* TokenOf(Architecture architecture);
// The machine as Windows names it: "x86", "x64", "ARM64".
const char* MachineName(Architecture architecture);
const char16_t* TokenOf(Level level);
const char16_t* TokenOf(Language language);

// An option's value, read without case ("KC2" is kc2); kNone when it names none.
Level ParseLevel(const WideString& value);
Language ParseLanguage(const WideString& value);

// The level a file name names: its first "kc1", "kc2" or "kc3", without case.
Level LevelInName(const WideString& name);
// "eng" before "rus", without case; kNone when it names neither.
Language LanguageInName(const WideString& name);

// The language a user interface language id stands for: Russian for 1049, else English.
Language LanguageOfUi(uint16_t languageId);

// The file pattern of a package: "*x64*" "*kc2*" "*rus*" in this order, leaving out what is
// none, then ".msi".
WideString PackagePattern(Architecture architecture, Level level, Language language);

// Whether `name` matches the pattern: `*` any run, `?` one unit, letters without case.
bool MatchesPattern(const WideString& pattern, const WideString& name);

}  // namespace qv
