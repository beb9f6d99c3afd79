// The option parser behind a Windows command-line splitter, so that the fuzzer works on whole
// command lines as a deployment script would write them.
#include <gtest/gtest.h>

#include "FuzzInput.h"
#include "common/ResultCodes.h"
#include "driver/InstallOptions.h"
#include "fakes/Fakes.h"

namespace qv::fuzz {
namespace {

bool Blank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// CommandLineToArgvW's rules: 2n backslashes and a quote give n backslashes and toggle quoting,
// 2n+1 give n and a literal quote, "" inside quotes is a literal quote. The program name knows
// no escapes: quoted up to the next quote, else up to the first blank.
std::vector<WideString> SplitCommandLine(std::u16string line) {
    line = line.substr(0, line.find(u'\0'));
    const size_t n = line.size();
    size_t i = 0;
    std::u16string name;
    if (i < n && line[i] == u'"') {
        for (++i; i < n && line[i] != u'"'; ++i) name += line[i];
        if (i < n) ++i;
    } else {
        for (; i < n && !Blank(line[i]); ++i) name += line[i];
    }
    std::vector<WideString> out{WideString(name)};
    for (;;) {
        while (i < n && Blank(line[i])) ++i;
        if (i >= n) break;
        std::u16string arg;
        bool quoted = false;
        while (i < n && (quoted || !Blank(line[i]))) {
            if (line[i] == u'\\') {
                size_t run = 0;
                for (; i < n && line[i] == u'\\'; ++i) ++run;
                bool quote = i < n && line[i] == u'"';
                arg.append(quote ? run / 2 : run, u'\\');
                if (quote && run % 2 == 1) arg += line[i++];
            } else if (line[i] == u'"') {
                if (quoted && i + 1 < n && line[i + 1] == u'"') {
                    arg += u'"';
                    i += 2;
                } else {
                    quoted = !quoted;
                    ++i;
                }
            } else {
                arg += line[i++];
            }
        }
        out.emplace_back(arg);
    }
    return out;
}

bool Starred(const WideString& pattern) {
    return pattern.empty() ||
           (pattern.size() >= 2 && pattern[0] == u'*' && pattern[pattern.size() - 1] == u'*');
}

// A splitter that drifts from Windows would fuzz the wrong inputs; the documented cases.
void CheckSplitter() {
    const struct {
        const char* line;
        std::vector<const char*> argv;
    } kCases[] = {
        {R"(p "a b c" d e)", {"p", "a b c", "d", "e"}},
        {R"(p "ab\"c" "\\" d)", {"p", R"(ab"c)", R"(\)", "d"}},
        {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
        {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
        {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
        {R"(p a"b"" c d)", {"p", R"(ab" c d)"}},
        {R"("C:\Program Files\a\"b	c  )", {R"(C:\Program Files\a\)", "b", "c"}},
        {R"(p "" "a"")", {"p", "", R"(a")"}},
        {"", {""}},
    };
    for (const auto& c : kCases) {
        std::vector<WideString> argv = SplitCommandLine(FromUtf8(c.line).str());
        bool same = argv.size() == c.argv.size();
        for (size_t i = 0; same && i < argv.size(); ++i) same = ToUtf8(argv[i]) == c.argv[i];
        if (!same) {
            std::fprintf(stderr, "splitter is wrong for: %s\n", c.line);
            std::abort();
        }
    }
}

}  // namespace
}  // namespace qv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    GTEST_FLAG_SET(throw_on_failure, true);  // misuse of a fake ends the run
    qv::fuzz::CheckSplitter();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    std::vector<WideString> argv = fuzz::SplitCommandLine(fuzz::Units(data, size));

    InstallOptions options;
    ParseOutcome outcome = ParseArguments(argv, options);
    FUZZ_CHECK(outcome == ParseOutcome::kParsed || outcome == ParseOutcome::kHelp ||
               outcome == ParseOutcome::kUnrecognised);
    FUZZ_CHECK(fuzz::Starred(options.kc));
    FUZZ_CHECK(fuzz::Starred(options.lang));
    FUZZ_CHECK(options.args.empty() || options.args[options.args.size() - 1] == u' ');
    for (int flag : {options.silent, options.root, options.noreboot, options.reinstall})
        FUZZ_CHECK(flag == 0 || flag == 1);

    // The process-level entry agrees with the parser and shows at most the usage.
    fakes::FakePlatform fake;
    fake.system.arguments = argv;
    Platform platform = fake.platform();
    InstallOptions again;
    std::optional<int> exit = ParseCommandLine(platform, again);
    switch (outcome) {
        case ParseOutcome::kParsed:
            FUZZ_CHECK(!exit);
            break;
        case ParseOutcome::kHelp:
            FUZZ_CHECK(exit == 0);
            break;
        case ParseOutcome::kUnrecognised:
            FUZZ_CHECK(exit == static_cast<int>(kExitBadCommandLine));
            break;
    }
    FUZZ_CHECK(again.kc == options.kc && again.lang == options.lang && again.args == options.args);
    FUZZ_CHECK(fake.ui.boxes.size() == (exit && !again.silent ? 1u : 0u));
    return 0;
}
