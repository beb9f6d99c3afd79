#include <gtest/gtest.h>

#include "packages/KcLanguage.h"
#include "packages/VersionCheck.h"

namespace qv {
namespace {

TEST(CompareVersions, FollowsTheInstallersFieldOrder) {
    struct {
        const char16_t* left;
        const char16_t* right;
        int expected;
    } cases[] = {
        {u"5.0.10", u"5.0.9", 1},
        {u"5.0.9", u"5.0.10", -1},
        {u"4.0", u"4.0.1", -1},
        {u"4.0", u"4.0.0", 0},
        {u"5.0.09", u"5.0.9", 0},
        {u"", u"1.0", -1},
        {u"", u"0.0", 0},
        {u"", u"", 0},
        {u"10.0", u"9.9.9", 1},
        {u"1.2.3", u"1.2.3", 0},
        {u"1.0.0.1", u"1.0", 1},
        {u"5.0.b", u"5.0.a", 1},
        {u"5.0.a", u"5.0.9", 1},
        {u"5.1", u"5.0.z", 1},
        {u"99999999999999999999.1", u"2", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(WideString(c.left)) + " vs " + ToUtf8(WideString(c.right)));
        EXPECT_EQ(CompareVersions(WideString(c.left), WideString(c.right)), c.expected);
        EXPECT_EQ(CompareVersions(WideString(c.right), WideString(c.left)), -c.expected);
    }
}

TEST(LevelFromReleaseFlags, FirstRowThatOccursDecides) {
    struct {
        const char16_t* flags;
        const char16_t* level;
    } cases[] = {
        {u"x,kc3,kc1,", u"*kc1*"},
        {u"kc2,", u"*kc2*"},
        {u"kc3,", u"*kc3*"},
        {u"kc2", u""},
        {u"qvcspi", u"*kc1*"},
        {u"qvrmcsp", u"*kc2*"},
        {u"qvrmcsp,kc3,", u"*kc3*"},
        {u"", u""},
        {u"KC1,", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LevelFromReleaseFlags(WideString(c.flags)), WideString(c.level))
            << ToUtf8(WideString(c.flags));
}

TEST(LanguageFromProductLanguage, OnlyExactly1033IsEnglish) {
    EXPECT_EQ(LanguageFromProductLanguage(WideString(u"1033")), WideString(u"*eng*"));
    for (const char16_t* v : {u"1049", u"", u"01033", u"1033 "})
        EXPECT_EQ(LanguageFromProductLanguage(WideString(v)), WideString(u"*rus*"))
            << ToUtf8(WideString(v));
}

TEST(KcOrLanguageDiffers, WarningTable) {
    struct {
        const char16_t* kc;
        const char16_t* lang;
        bool warn;
    } cases[] = {
        {u"", u"", false},      {u"*kc2*", u"", false},     {u"*kc2*", u"*rus*", false},
        {u"", u"*rus*", false}, {u"*kc3*", u"", true},      {u"*kc3*", u"*rus*", true},
        {u"", u"*eng*", true},  {u"*kc2*", u"*eng*", true}, {u"*KC2*", u"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(KcOrLanguageDiffers(WideString(c.kc), WideString(c.lang), WideString(u"*kc2*"),
                                      WideString(u"*rus*")),
                  c.warn)
            << ToUtf8(WideString(c.kc)) << " " << ToUtf8(WideString(c.lang));
}

}  // namespace
}  // namespace qv
