#pragma once
#include <vector>

#include "common/CommandLine.h"
#include "common/WideString.h"
#include "model/InstallOptions.h"

namespace qv {

enum class ParseOutcome { kParsed, kHelp, kUnrecognised };

// Matches `arguments` (element 0, the program path, is skipped) against the option words.
ParseOutcome ParseArguments(const std::vector<WideString>& arguments, InstallOptions& options);

// The usage text; the same in every language.
WideString UsageText();

}  // namespace qv
