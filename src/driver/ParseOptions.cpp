#include "driver/ParseOptions.h"

#include "common/Log.h"
#include "model/Choices.h"

namespace qv {
namespace {

// The usage is shown unless -silent stands anywhere on the line: also after -help or a typo.
ParseOutcome Usage(ParseOutcome outcome, const std::vector<WideString>& arguments,
                   InstallOptions& options) {
    for (size_t i = 1; i < arguments.size(); ++i)
        options.silent = options.silent || IsOption(arguments[i], u"silent");
    return outcome;
}

}  // namespace

ParseOutcome ParseArguments(const std::vector<WideString>& arguments, InstallOptions& options) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const WideString& a = arguments[i];
        if (IsOption(a, u"silent")) {
            options.silent = true;
        } else if (IsOption(a, u"help") || IsOption(a, u"-help") || IsOption(a, u"?")) {
            return Usage(ParseOutcome::kHelp, arguments, options);
        } else if (IsOption(a, u"root")) {
            options.root = true;
        } else if (IsOption(a, u"reinstall")) {
            options.reinstall = true;
        } else if (IsOption(a, u"noreboot")) {
            options.noreboot = true;
        } else if (IsOption(a, u"whatif")) {
            options.whatif = true;
        } else if (IsOption(a, u"uninstall")) {
            options.uninstall = true;
        } else if (IsOption(a, u"repair")) {
            options.repair = true;
        } else if (IsOption(a, u"lang") || IsOption(a, u"kc") || IsOption(a, u"args") ||
                   IsOption(a, u"log") || IsOption(a, u"tooltimeout")) {
            if (i + 1 >= arguments.size())
                return Usage(ParseOutcome::kUnrecognised, arguments, options);
            const WideString& value = arguments[++i];
            bool bad = false;
            if (IsOption(a, u"lang")) {
                options.lang = ParseLanguage(value);
                bad = options.lang == Language::kNone;
            } else if (IsOption(a, u"kc")) {
                options.kc = ParseLevel(value);
                bad = options.kc == Level::kNone;
            } else if (IsOption(a, u"tooltimeout")) {
                // Decimal digits only: a day at most, and never no limit.
                uint32_t seconds = 0;
                for (char16_t c : value.str())
                    seconds = c >= u'0' && c <= u'9' && seconds <= kMaxToolSeconds
                                  ? seconds * 10 + (c - u'0')
                                  : UINT32_MAX;
                options.toolSeconds = seconds;
                bad = seconds - 1 >= kMaxToolSeconds;
            } else if (IsOption(a, u"log")) {
                options.log = value;
            } else {
                AppendArgument(options.args, value);
            }
            if (bad) {
                options.badValue = Joined({a, " \"", value, "\""});
                return Usage(ParseOutcome::kUnrecognised, arguments, options);
            }
        } else {
            return Usage(ParseOutcome::kUnrecognised, arguments, options);
        }
    }
    // Each says what becomes of the installed product: two are a typo, not a choice.
    if (options.uninstall + options.reinstall + options.repair > 1)
        return Usage(ParseOutcome::kUnrecognised, arguments, options);
    return ParseOutcome::kParsed;
}

WideString UsageText() {
    return WideString(
        u"-help\tprint this help\n"
        u"-lang\tselect package language (eng/rus)\n"
        u"-kc\tselect Quorvane CSP KC-Level (kc1/kc2/kc3)\n"
        u"-args\tspecify arguments for msiexec /i in quotes\n"
        u"-log\twrite the setup log to the given file or folder\n"
        u"-tooltimeout\ttool time limit (600 s)\n"
        u"-reinstall\treinstall product\n"
        u"-repair\trepair the product\n"
        u"-uninstall\tremove the product\n"
        u"-whatif\tshow what would be done, do nothing\n"
        u"-silent\tdo not display any user interface\n"
        u"\t(if same version already installed and reinstall not specified, do nothing)\n");
}

}  // namespace qv
