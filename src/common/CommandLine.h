#pragma once
// Command lines: how Windows splits them, and msiexec's words.
#include <vector>

#include "common/WideString.h"

namespace qv {

// "-word" or "/word", in any case, as Windows programs take their options.
bool IsOption(const WideString& argument, const char16_t* word);

// Splits a whole command line as CommandLineToArgvW does, program path first: 2n backslashes
// and a quote give n backslashes and toggle quoting, 2n+1 give n and a literal quote, "" inside
// quotes is a literal quote that ends the quoting; the program path knows no escapes.
std::vector<WideString> SplitCommandLine(const WideString& line);

// Appends one installer word and its separating blank, as every addition to `args` is made.
void AppendArgument(WideString& args, const WideString& word);

// Whether msiexec's words name its log (/l…) or choose its interface level (/q…, /passive),
// with "/" or "-" and in any case.
bool NamesInstallerLog(const WideString& args);
bool ChoosesInterfaceLevel(const WideString& args);
// The words as they stand, less the interface switches that show a window (all but /q and /qn):
// where nobody sees one, msiexec would wait for ever on its own error box.
WideString WithoutVisibleInterface(const WideString& args);

// `"<system>\msiexec.exe" /i "<package>" <tail> REBOOT=R`; msiexec by full path, so that a
// planted one beside the program never runs.
WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail);

}  // namespace qv
