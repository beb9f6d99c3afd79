#include <gtest/gtest.h>

#include "decide/VersionCheck.h"

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
    // The installer's upgrade sees three fields: 1.0.0.4 and 1.0.0.5 are one version to it.
    EXPECT_EQ(CompareUpgradeVersions(WideString(u"1.0.0.4"), WideString(u"1.0.0.5")), 0);
    EXPECT_EQ(CompareUpgradeVersions(WideString(u"1.0.1"), WideString(u"1.0.0.9")), 1);
    EXPECT_EQ(CompareUpgradeVersions(WideString(u"5.0"), WideString(u"5.0.0.7")), 0);
}

}  // namespace
}  // namespace qv
