#include "decide/InstallOptions.h"

#include "common/Log.h"
#include "decide/Choices.h"

namespace qv {
namespace {

// "-word" or "/word", in any case, as Windows programs take their options.
bool Is(const WideString& argument, const char16_t* word) {
    std::u16string_view a = argument.str();
    return !a.empty() && (a[0] == u'-' || a[0] == u'/') && EqualWithoutCase(a.substr(1), word);
}

// The usage is shown unless -silent stands anywhere on the line: also after -help or a typo.
ParseOutcome Usage(ParseOutcome outcome, const std::vector<WideString>& arguments,
                   InstallOptions& options) {
    for (size_t i = 1; i < arguments.size(); ++i)
        options.silent = options.silent || Is(arguments[i], u"silent");
    return outcome;
}

bool Blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// One argument from `i` on, under the quoting and backslash rules.
WideString NextArgument(const std::u16string& line, size_t& i) {
    const size_t n = line.size();
    std::u16string argument;
    bool quoted = false;
    while (i < n && (quoted || !Blank(line[i]))) {
        if (line[i] == u'\\') {
            size_t run = 0;
            for (; i < n && line[i] == u'\\'; ++i) ++run;
            bool quote = i < n && line[i] == u'"';
            argument.append(quote ? run / 2 : run, u'\\');
            if (quote && run % 2 == 1) argument += line[i++];
        } else if (line[i] == u'"') {
            if (quoted && i + 1 < n && line[i + 1] == u'"') {
                // A quote doubled inside quotes is one literal quote, and ends the quoting.
                argument += u'"';
                quoted = false;
                i += 2;
            } else {
                quoted = !quoted;
                ++i;
            }
        } else {
            argument += line[i++];
        }
    }
    return WideString(std::move(argument));
}

}  // namespace

std::vector<WideString> SplitCommandLine(const WideString& text) {
    const std::u16string& line = text.str();
    const size_t n = line.size();
    size_t i = 0;
    std::u16string program;
    if (i < n && line[i] == u'"') {
        for (++i; i < n && line[i] != u'"'; ++i) program += line[i];
        if (i < n) ++i;
    } else {
        for (; i < n && !Blank(line[i]); ++i) program += line[i];
    }
    std::vector<WideString> out{WideString(std::move(program))};
    for (;;) {
        while (i < n && Blank(line[i])) ++i;
        if (i >= n) break;
        out.push_back(NextArgument(line, i));
    }
    return out;
}

void AppendArgument(WideString& args, const WideString& word) {
    args.Append(word);
    args.Append(u' ');
}

ParseOutcome ParseArguments(const std::vector<WideString>& arguments, InstallOptions& options) {
    for (size_t i = 1; i < arguments.size(); ++i) {
        const WideString& a = arguments[i];
        if (Is(a, u"silent")) {
            options.silent = true;
        } else if (Is(a, u"help") || Is(a, u"-help") || Is(a, u"?")) {
            return Usage(ParseOutcome::kHelp, arguments, options);
        } else if (Is(a, u"root")) {
            options.root = true;
        } else if (Is(a, u"reinstall")) {
            options.reinstall = true;
        } else if (Is(a, u"noreboot")) {
            options.noreboot = true;
        } else if (Is(a, u"whatif")) {
            options.whatif = true;
        } else if (Is(a, u"uninstall")) {
            options.uninstall = true;
        } else if (Is(a, u"lang") || Is(a, u"kc") || Is(a, u"args") || Is(a, u"log")) {
            if (i + 1 >= arguments.size())
                return Usage(ParseOutcome::kUnrecognised, arguments, options);
            const WideString& value = arguments[++i];
            bool bad = false;
            if (Is(a, u"lang")) {
                options.lang = ParseLanguage(value);
                bad = options.lang == Language::kNone;
            } else if (Is(a, u"kc")) {
                options.kc = ParseLevel(value);
                bad = options.kc == Level::kNone;
            } else if (Is(a, u"log")) {
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
    return ParseOutcome::kParsed;
}

namespace {

// Whether a word of `args` is an option that starts with `prefix` (or is `whole`).
bool HasOption(const WideString& args, char16_t prefix, const char16_t* whole) {
    for (const WideString& word : SplitCommandLine(u"x " + args)) {
        const std::u16string& w = word.str();
        if (w.size() >= 2 && (w[0] == u'/' || w[0] == u'-') &&
            (FoldCase(w[1]) == prefix || (whole != nullptr && Is(word, whole))))
            return true;
    }
    return false;
}

}  // namespace

bool NamesInstallerLog(const WideString& args) {
    return HasOption(args, u'L', nullptr);
}

bool ChoosesInterfaceLevel(const WideString& args) {
    return HasOption(args, u'Q', u"passive");
}

WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail) {
    return Joined(
        {"\"", systemDirectory, "\\msiexec.exe\" /i \"", packagePath, "\" ", tail, " REBOOT=R"});
}

WideString UsageText() {
    return WideString(
        u"-help\tprint this help\n"
        u"-lang\tselect package language (eng/rus)\n"
        u"-kc\tselect Quorvane CSP KC-Level (kc1/kc2/kc3)\n"
        u"-args\tspecify arguments for msiexec /i in quotes\n"
        u"-log\twrite the setup log to the given file\n"
        u"-reinstall\treinstall product\n"
        u"-uninstall\tremove the product\n"
        u"-whatif\tshow what would be done, do nothing\n"
        u"-silent\tdo not display any user interface\n"
        u"\t(if same version already installed and reinstall not specified, do nothing)\n");
}

}  // namespace qv
