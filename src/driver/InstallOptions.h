#pragma once
#include <vector>

#include "common/WideString.h"
#include "packages/Choices.h"

namespace qv {

struct InstallOptions {
    bool empty = true;                // an empty command tail: the settings dialog may be shown
    Level kc = Level::kNone;          // none when not chosen
    Language lang = Language::kNone;  // none when not chosen
    WideString args;                  // extra msiexec words, each followed by one blank
    WideString log;                   // the log file to write instead of the default one
    bool silent = false;
    bool root = false;
    bool noreboot = false;
    bool reinstall = false;
    bool whatif = false;     // report the plan, change nothing
    bool uninstall = false;  // remove every installed product the kit relates to
    // A -kc or -lang that names no level or language, with its value: a bad command line, since
    // a level typed is a security class asked for.
    WideString badValue;
};

enum class ParseOutcome { kParsed, kHelp, kUnrecognised };

// Splits a whole command line as CommandLineToArgvW does, program path first: 2n backslashes
// and a quote give n backslashes and toggle quoting, 2n+1 give n and a literal quote, "" inside
// quotes is a literal quote that ends the quoting; the program path knows no escapes.
std::vector<WideString> SplitCommandLine(const WideString& line);

// Matches `arguments` (element 0, the program path, is skipped) against the option words.
ParseOutcome ParseArguments(const std::vector<WideString>& arguments, InstallOptions& options);

// The usage text; the same in every language.
WideString UsageText();

// Appends one installer word and its separating blank, as every addition to `args` is made.
void AppendArgument(WideString& args, const WideString& word);

// Whether msiexec's words name its log (/l…) or choose its interface level (/q…, /passive),
// with "/" or "-" and in any case.
bool NamesInstallerLog(const WideString& args);
bool ChoosesInterfaceLevel(const WideString& args);

}  // namespace qv
