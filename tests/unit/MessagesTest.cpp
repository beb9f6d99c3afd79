#include <gtest/gtest.h>

#include "Kit.h"
#include "ui/Messages.h"

namespace qv::testing {
namespace {

TEST(StringBlock, FindsEntriesAndRejectsDamage) {
    fakes::FakeResources resources;
    resources.SetStrings({{101, u"five"}, {111, u"last"}});
    std::vector<char16_t> block = resources.blocks[7];
    ResourceBlock b{block.data(), block.size()};
    WideString text(u"old");
    EXPECT_TRUE(FindBlockEntry(b, 101, &text));  // 101 = entry 5 of block 7
    EXPECT_EQ(text, WideString(u"five"));
    EXPECT_TRUE(FindBlockEntry(b, 111, &text));
    EXPECT_EQ(text, WideString(u"last"));
    text = u"old";
    EXPECT_FALSE(FindBlockEntry(b, 100, &text));  // count 0: absent
    EXPECT_EQ(text, WideString(u"old"));

    // Cut inside the last text, and cut before the entry starts.
    ResourceBlock cut{block.data(), block.size() - 1};
    EXPECT_FALSE(FindBlockEntry(cut, 111, &text));
    EXPECT_TRUE(FindBlockEntry(cut, 101, &text));
    ResourceBlock tiny{block.data(), 3};
    EXPECT_FALSE(FindBlockEntry(tiny, 101, &text));
    EXPECT_FALSE(FindBlockEntry(ResourceBlock{}, 101, &text));
    EXPECT_EQ(text, WideString(u"five"));
}

TEST(LoadMessage, AbsentLeavesTheTargetAndHasNoFallback) {
    Kit k;
    k.resources.SetStrings({{104, u"Can not find msi package."}, {123, u"Warning"}});
    WideString text(u"old");
    EXPECT_TRUE(LoadMessage(k.resources, 104, text));
    EXPECT_EQ(text, WideString(u"Can not find msi package."));
    EXPECT_TRUE(LoadMessage(k.resources, 123, text));
    EXPECT_EQ(text, WideString(u"Warning"));
    text = u"old";
    for (uint16_t id : {100, 105, 122, 125}) {
        SCOPED_TRACE(id);
        EXPECT_FALSE(LoadMessage(k.resources, id, text));
        EXPECT_EQ(text, WideString(u"old"));
    }
}

TEST(ShowMessage, FillsTheProductName) {
    Kit k;
    k.ui.answers = {7};
    EXPECT_EQ(ShowMessage(k.resources, k.ui, kMsgSameVersionReinstall, WideString(u"Q 100%s")), 7);
    ASSERT_EQ(k.ui.boxes.size(), 1u);
    EXPECT_EQ(k.ui.boxes[0].text, WideString(u"m102 Q 100%s"));
    EXPECT_EQ(k.ui.boxes[0].caption, WideString(u"m114"));
    EXPECT_EQ(k.ui.boxes[0].style, 4u);
}

}  // namespace
}  // namespace qv::testing
