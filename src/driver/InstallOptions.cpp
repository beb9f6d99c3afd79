#include "driver/InstallOptions.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"

namespace qv {
namespace {

bool Is(const WideString& argument, const char16_t* dash, const char16_t* slash) {
    return argument == WideString(dash) || argument == WideString(slash);
}

WideString Starred(const WideString& value) {
    return WideString(u"*") + value + u"*";
}

}  // namespace

void AppendArgument(WideString& args, const WideString& word) {
    args.Append(word);
    args.Append(u' ');
}

ParseOutcome ParseArguments(const std::vector<WideString>& arguments, InstallOptions& options) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const WideString& a = arguments[i];
        if (Is(a, u"-silent", u"/silent")) {
            options.silent = true;
        } else if (Is(a, u"-help", u"/help") || a == WideString(u"--help")) {
            return ParseOutcome::kHelp;
        } else if (Is(a, u"-root", u"/root")) {
            options.root = true;
        } else if (Is(a, u"-reinstall", u"/reinstall")) {
            options.reinstall = true;
        } else if (Is(a, u"-noreboot", u"/noreboot")) {
            options.noreboot = true;
        } else if (Is(a, u"-lang", u"/lang") || Is(a, u"-kc", u"/kc") ||
                   Is(a, u"-args", u"/args")) {
            if (i + 1 >= arguments.size()) return ParseOutcome::kUnrecognised;
            const WideString& value = arguments[++i];
            if (Is(a, u"-lang", u"/lang")) {
                options.lang = Starred(value);
            } else if (Is(a, u"-kc", u"/kc")) {
                options.kc = Starred(value);
            } else {
                AppendArgument(options.args, value);
            }
        } else {
            return ParseOutcome::kUnrecognised;
        }
    }
    return ParseOutcome::kParsed;
}

WideString UsageText() {
    return WideString(
        u"-help\tprint this help\n"
        u"-lang\tselect package language (eng/rus)\n"
        u"-kc\tselect Quorvane CSP KC-Level (kc1/kc2/kc3)\n"
        u"-args\tspecify arguments for msiexec /i in quotes\n"
        u"-reinstall\treinstall product\n"
        u"-silent\tdo not display any user interface\n"
        u"\t(if same version already installed and reinstall not specified, do nothing)\n");
}

int ShowUsage(Ui& ui, bool silent, int exitCode) {
    if (!silent) ui.MessageBox(UsageText(), WideString(u"Help"), kMbIconInformation);
    return exitCode;
}

std::optional<int> ParseCommandLine(Platform& platform, InstallOptions& options) {
    std::vector<WideString> arguments;
    if (!platform.system.GetCommandLineArguments(arguments)) return std::nullopt;
    switch (ParseArguments(arguments, options)) {
        case ParseOutcome::kHelp:
            return ShowUsage(platform.ui, options.silent, kExitSuccess);
        case ParseOutcome::kUnrecognised:
            // A typo in a deployment script must not read as success.
            return ShowUsage(platform.ui, options.silent, kExitBadCommandLine);
        case ParseOutcome::kParsed:
            break;
    }
    return std::nullopt;
}

}  // namespace qv
