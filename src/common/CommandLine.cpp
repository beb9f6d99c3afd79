#include "common/CommandLine.h"

#include "common/Log.h"

namespace qv {
namespace {

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

bool IsOption(const WideString& argument, const char16_t* word) {
    std::u16string_view a = argument.str();
    return !a.empty() && (a[0] == u'-' || a[0] == u'/') && EqualWithoutCase(a.substr(1), word);
}

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

namespace {

// Whether a word of `args` is an option that starts with `prefix` (or is `whole`).
bool HasOption(const WideString& args, char16_t prefix, const char16_t* whole) {
    for (const WideString& word : SplitCommandLine(u"x " + args)) {
        const std::u16string& w = word.str();
        if (w.size() >= 2 && (w[0] == u'/' || w[0] == u'-') &&
            (FoldCase(w[1]) == prefix || (whole != nullptr && IsOption(word, whole))))
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

WideString WithoutVisibleInterface(const WideString& args) {
    const std::u16string& line = args.str();
    WideString kept;
    for (size_t i = 0; i < line.size();) {
        if (Blank(line[i])) {
            ++i;
            continue;
        }
        size_t start = i;
        WideString word = NextArgument(line, i);
        bool hidden = IsOption(word, u"q") || IsOption(word, u"qn");
        if (hidden || !ChoosesInterfaceLevel(word))
            AppendArgument(kept, WideString(line.c_str() + start, i - start));
    }
    return kept;
}

WideString BuildInstallerCommandLine(const WideString& systemDirectory,
                                     const WideString& packagePath, const WideString& tail) {
    return Joined(
        {"\"", systemDirectory, "\\msiexec.exe\" /i \"", packagePath, "\" ", tail, " REBOOT=R"});
}

}  // namespace qv
