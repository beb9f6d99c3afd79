#pragma once
// The product already on the machine: which one, its version, its level and language.
#include <cstdint>

#include "common/Log.h"
#include "common/StepResult.h"
#include "common/WideString.h"
#include "packages/Choices.h"
#include "platform/Installer.h"

namespace qv {

struct InstalledProduct {
    WideString code;
    WideString version;
    StepResult versionRead;  // a failed read of the version, with its message
    WideString other;        // a second installed related product, left by a failed update
};

// The first installed product related to the kit's UpgradeCode, with its version, and a second
// one if there is; empty code when there is none.
InstalledProduct ReadInstalledProduct(Installer& installer, const WideString& upgradeCode,
                                      Log& log);

// What the installed product's level and language were found to be, and how the detection
// ended: a failure is reported and leads to the fresh installation's choices.
struct InstalledSelection {
    Selection selection;
    StepResult detection;
};

// From the name of the package it was installed from, or else from its cached package.
InstalledSelection DetectInstalledSelection(Installer& installer, const WideString& code, Log& log);

// The level the release flags name, or kNone.
Level LevelFromReleaseFlags(const WideString& flags);
// English for exactly "1033", Russian for anything else.
Language LanguageFromProductLanguage(const WideString& productLanguage);

}  // namespace qv
