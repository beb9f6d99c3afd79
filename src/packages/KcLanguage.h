#pragma once
#include <cstdint>

#include "common/Log.h"
#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Installer.h"

namespace qv {

// The level the release flags name ("*kc1*" …), or empty when no token occurs.
WideString LevelFromReleaseFlags(const WideString& flags);
// "*eng*" for exactly "1033", "*rus*" for anything else.
WideString LanguageFromProductLanguage(const WideString& productLanguage);

// The installed product's level and language patterns, from its source list's package name or
// else from its cached package. Each output is written as soon as it is learnt.
StepResult DetectInstalledKcAndLanguage(Installer& installer, const WideString& installedCode,
                                        WideString& level, WideString& language, Log& log);

// Whether a chosen level or language differs from the installed ones.
bool KcOrLanguageDiffers(const WideString& kc, const WideString& lang,
                         const WideString& installedLevel, const WideString& installedLanguage);

}  // namespace qv
