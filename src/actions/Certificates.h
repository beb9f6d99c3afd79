#pragma once
#include "common/Log.h"
#include "platform/Platform.h"

namespace qv {

// Adds every certificate of the *.cer, *.p7b and *.crt files beside the program to the
// machine's Root store, pattern by pattern. Files that hold none are skipped; nothing is shown.
void ImportRootCertificates(Platform& platform, Log& log);

}  // namespace qv
