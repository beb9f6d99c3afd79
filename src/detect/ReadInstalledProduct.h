#pragma once
// Reads the product already on the machine.
#include <cstdint>

#include "common/Log.h"
#include "common/StepResult.h"
#include "common/WideString.h"
#include "model/InstalledProduct.h"
#include "platform/Installer.h"

namespace qv {

// The first installed product related to the kit's UpgradeCode, with its version, and a second
// one if there is; empty code when there is none.
InstalledProduct ReadInstalledProduct(Installer& installer, const WideString& upgradeCode,
                                      Log& log);

// From the name of the package it was installed from, or else from its cached package.
InstalledSelection DetectInstalledSelection(Installer& installer, const WideString& code, Log& log);

// The level the release flags name, or kNone.
Level LevelFromReleaseFlags(const WideString& flags);
// English for exactly "1033", Russian for anything else.
Language LanguageFromProductLanguage(const WideString& productLanguage);

}  // namespace qv
