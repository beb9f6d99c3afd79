#include <gtest/gtest.h>

#include "driver/ParseOptions.h"

namespace qv {
namespace {

struct ParseCase {
    const char* name;
    std::vector<const char16_t*> args;
    ParseOutcome outcome;
    Level kc;
    Language lang;
    const char16_t* extra;
    int silent, root, noreboot, reinstall;
};

// GoogleTest would otherwise dump the raw bytes, padding included.
void PrintTo(const ParseCase& c, std::ostream* os) {
    *os << c.name;
}

class ParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTest, Parses) {
    const ParseCase& c = GetParam();
    std::vector<WideString> argv{WideString(u"C:\\Kit\\setup.exe")};
    for (const char16_t* a : c.args) argv.emplace_back(a);
    InstallOptions o;
    EXPECT_EQ(ParseArguments(argv, o), c.outcome);
    EXPECT_EQ(o.kc, c.kc);
    EXPECT_EQ(o.lang, c.lang);
    EXPECT_EQ(o.args, WideString(c.extra));
    EXPECT_EQ(o.silent, c.silent);
    EXPECT_EQ(o.root, c.root);
    EXPECT_EQ(o.noreboot, c.noreboot);
    EXPECT_EQ(o.reinstall, c.reinstall);
}

using P = ParseOutcome;
constexpr Level k0 = Level::kNone;
constexpr Language l0 = Language::kNone;
// clang-format off
const ParseCase kParseCases[] = {
    {"nothing", {}, P::kParsed, k0, l0, u"", 0, 0, 0, 0},
    {"switches_both_spellings",
     {u"/silent", u"-root", u"/noreboot", u"/reinstall", u"-reinstall"},
     P::kParsed, k0, l0, u"", 1, 1, 1, 1},
    {"values", {u"-lang", u"eng", u"-kc", u"kc3"}, P::kParsed, Level::kKc3, Language::kEnglish, u"",
     0, 0, 0, 0},
    {"last_value_wins", {u"/kc", u"kc1", u"-kc", u"kc2"}, P::kParsed, Level::kKc2, l0, u"", 0, 0, 0,
     0},
    {"values_without_case", {u"-kc", u"KC2", u"-lang", u"Rus"}, P::kParsed, Level::kKc2,
     Language::kRussian, u"", 0, 0, 0, 0},
    // A level or language typed is honoured or refused, never dropped.
    {"unknown_level", {u"-kc", u"kc1", u"-kc", u"kc4"}, P::kUnrecognised, k0, l0, u"", 0, 0, 0, 0},
    {"level_with_a_blank", {u"-silent", u"-kc", u"kc2 "}, P::kUnrecognised, k0, l0, u"", 1, 0, 0,
     0},
    {"empty_language", {u"-lang", u""}, P::kUnrecognised, k0, l0, u"", 0, 0, 0, 0},
    {"value_may_look_like_option_then_stray",
     {u"-lang", u"-kc", u"kc3"}, P::kUnrecognised, k0, l0, u"", 0, 0, 0, 0},
    {"args_accumulate",
     {u"-args", u"A=1 B=\"x y\"", u"/args", u"C"}, P::kParsed, k0, l0, u"A=1 B=\"x y\" C ", 0,
     0, 0, 0},
    {"empty_value", {u"-args", u""}, P::kParsed, k0, l0, u" ", 0, 0, 0, 0},
    {"missing_value", {u"-silent", u"-lang"}, P::kUnrecognised, k0, l0, u"", 1, 0, 0, 0},
    {"words_without_case", {u"-SILENT", u"/NoReboot", u"-Root"}, P::kParsed, k0, l0, u"", 1, 1, 1,
     0},
    {"joined_value_is_no_option", {u"-kc=kc1"}, P::kUnrecognised, k0, l0, u"", 0, 0, 0, 0},
    {"double_dash_only_for_help", {u"--silent"}, P::kUnrecognised, k0, l0, u"", 0, 0, 0, 0},
    {"help_stops_parsing", {u"-silent", u"--help", u"-root"}, P::kHelp, k0, l0, u"", 1, 0, 0, 0},
    {"slash_help", {u"/help"}, P::kHelp, k0, l0, u"", 0, 0, 0, 0},
    {"question_mark", {u"/?"}, P::kHelp, k0, l0, u"", 0, 0, 0, 0},
    {"whatif_and_uninstall", {u"-WhatIf", u"/uninstall"}, P::kParsed, k0, l0, u"", 0, 0, 0, 0},
    {"repair_at_a_level", {u"/Repair", u"-kc", u"kc2"}, P::kParsed, Level::kKc2, l0, u"", 0, 0, 0,
     0},
    // Each says what becomes of the installed product: two exclude each other.
    {"repair_with_reinstall", {u"-repair", u"-reinstall"}, P::kUnrecognised, k0, l0, u"", 0, 0, 0,
     1},
    {"uninstall_with_repair", {u"-uninstall", u"-silent", u"-repair"}, P::kUnrecognised, k0, l0,
     u"", 1, 0, 0, 0},
    // -silent silences the usage box wherever it stands.
    {"silent_after_help", {u"-help", u"-Silent"}, P::kHelp, k0, l0, u"", 1, 0, 0, 0},
    {"silent_after_a_typo", {u"-noreboot", u"-typo", u"/silent"}, P::kUnrecognised, k0, l0, u"",
     1, 0, 1, 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Options, ParseTest, ::testing::ValuesIn(kParseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Whole seconds from 1 to a day, in decimal digits: anything else is a bad command line.
TEST(ParseArguments, ToolTimeout) {
    const std::pair<const char16_t*, uint32_t> kValues[] = {
        // 0: refused
        {u"1", 1}, {u"600", 600}, {u"0086400", 86400}, {u"0", 0},          {u"86401", 0},
        {u"", 0},  {u"5s", 0},    {u"-5", 0},          {u"99999999999", 0}};
    for (const auto& [value, seconds] : kValues) {
        InstallOptions o;
        bool parsed = ParseArguments({WideString(u"setup.exe"), WideString(u"-ToolTimeout"),
                                      WideString(value)},
                                     o) == ParseOutcome::kParsed;
        EXPECT_EQ(parsed ? o.toolSeconds : 0, seconds) << seconds;
        EXPECT_EQ(o.badValue.empty(), seconds != 0);
    }
}

// CommandLineToArgvW's documented cases; tests/e2e/test_harness.py compares the two under Wine.
TEST(SplitCommandLine, WindowsRules) {
    const struct {
        const char* line;
        std::vector<const char*> argv;
    } cases[] = {
        {R"(p "a b c" d e)", {"p", "a b c", "d", "e"}},
        {R"(p "ab\"c" "\\" d)", {"p", R"(ab"c)", R"(\)", "d"}},
        {R"(p a\\\b d"e f"g h)", {"p", R"(a\\\b)", "de fg", "h"}},
        {R"(p a\\\"b c d)", {"p", R"(a\"b)", "c", "d"}},
        {R"(p a\\\\"b c" d e)", {"p", R"(a\\b c)", "d", "e"}},
        {R"(p a"b"" c d)", {"p", R"(ab")", "c", "d"}},
        {"\"C:\\Program Files\\a\\\"b\tc  ", {R"(C:\Program Files\a\)", "b", "c"}},
        {R"(p "" "a"")", {"p", "", R"(a")"}},
        {"", {""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        std::vector<std::string> argv;
        for (const WideString& a : SplitCommandLine(FromUtf8(c.line))) argv.push_back(ToUtf8(a));
        EXPECT_EQ(argv, std::vector<std::string>(c.argv.begin(), c.argv.end()));
    }
}

TEST(UsageText, HasItsLinesAndNoHiddenSwitches) {
    std::string text = ToUtf8(UsageText());
    EXPECT_EQ(text.rfind("-help\tprint this help\n", 0), 0u);
    EXPECT_NE(text.find("-kc\tselect Quorvane CSP KC-Level (kc1/kc2/kc3)\n"), std::string::npos);
    EXPECT_NE(text.find("-log\twrite the setup log to the given file or folder\n"),
              std::string::npos);
    EXPECT_NE(text.find("-repair\trepair the product\n"), std::string::npos);
    EXPECT_NE(text.find("-uninstall\tremove the product\n"), std::string::npos);
    EXPECT_NE(text.find("-whatif\tshow what would be done, do nothing\n"), std::string::npos);
    EXPECT_NE(text.find("-tooltimeout\ttool time limit (600 s)\n"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 12);
    EXPECT_EQ(text.find("-root"), std::string::npos);
    EXPECT_EQ(text.find("-noreboot"), std::string::npos);
}

}  // namespace
}  // namespace qv
