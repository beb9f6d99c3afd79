#include <gtest/gtest.h>

#include "apply/InitTool.h"
#include "apply/InstallerInvocation.h"
#include "common/WideString.h"
#include "decide/CommandLine.h"
#include "ui/Messages.h"

namespace qv {
namespace {

TEST(WideString, ComparesAsUnsignedUnits) {
    EXPECT_LT(WideString(u"a").Compare(WideString(u"\uFFFF")), 0);
    EXPECT_LT(WideString(u"4.0").Compare(WideString(u"4.0.1")), 0);
    EXPECT_EQ(WideString(u"x").Compare(WideString(u"x")), 0);
}

TEST(WideString, FolderAndFileName) {
    EXPECT_EQ(WideString(u"D:\\Kit\\setup.exe").Folder(), WideString(u"D:\\Kit\\"));
    EXPECT_EQ(WideString(u"setup.exe").Folder(), WideString(u""));
    EXPECT_EQ(WideString(u"D:\\Kit\\a.msi").FileName(), WideString(u"a.msi"));
    EXPECT_EQ(WideString(u"a.msi").FileName(), WideString(u"a.msi"));
}

TEST(WideString, FailuresCarryTheirCode) {
    try {
        WideString(u"ab").Left(3);
        FAIL();
    } catch (const FatalError& e) {
        EXPECT_EQ(e.Code(), kExitInvalidArgument);
    }
    EXPECT_THROW(WideString(static_cast<const char16_t*>(nullptr)), FatalError);
}

TEST(WideString, LentBufferIsCutAtFirstNull) {
    WideString s(u"old");
    char16_t* b = s.Lend(8);
    b[0] = u'h', b[1] = u'i';
    s.Commit();
    EXPECT_EQ(s, WideString(u"hi"));
}

TEST(WideString, Utf8RoundTrip) {
    const std::string text = "Привет, \xF0\x9F\x94\x91 key";
    EXPECT_EQ(ToUtf8(FromUtf8(text)), text);
}

struct CommandCase {
    const char16_t* package;
    const char16_t* tail;
    const char16_t* expected;
};

TEST(InstallerCommandLine, QuotesOnlyTheProgramAndThePackage) {
    const CommandCase cases[] = {
        {u"C:\\Kit\\a.msi", u"",
         u"\"C:\\windows\\system32\\msiexec.exe\" /i \"C:\\Kit\\a.msi\"  REBOOT=R"},
        {u"C:\\My Kit\\a.msi", u"PROP=1 REINSTALL=ALL REINSTALLMODE=vemus ",
         u"\"C:\\windows\\system32\\msiexec.exe\" /i \"C:\\My Kit\\a.msi\" PROP=1 REINSTALL=ALL "
         u"REINSTALLMODE=vemus  REBOOT=R"},
        {u"C:\\Kit\\a.msi", u"/qf /qb ",
         u"\"C:\\windows\\system32\\msiexec.exe\" /i \"C:\\Kit\\a.msi\" /qf /qb  REBOOT=R"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(WideString(c.expected)));
        EXPECT_EQ(ToUtf8(BuildInstallerCommandLine(WideString(u"C:\\windows\\system32"),
                                                   WideString(c.package), WideString(c.tail))),
                  ToUtf8(WideString(c.expected)));
    }
}

TEST(ToolCommandLine, QuotesTheWholeProgramPath) {
    EXPECT_EQ(BuildToolCommandLine(WideString(u"C:\\Program Files\\Q\\lib\\")),
              WideString(u"\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init"));
}

TEST(FormatMessageText, ProductNameIsAValueNotAFormat) {
    struct {
        const char16_t* format;
        const char16_t* value;
        const char16_t* expected;
    } cases[] = {
        {u"This version of %s already installed.", u"Q %s 100%",
         u"This version of Q %s 100% "
         u"already installed."},
        {u"no placeholder", u"x", u"no placeholder"},
        {u"%s", u"", u""},
        {u"50%% of %s", u"Q", u"50% of Q"},
        {u"trailing %", u"Q", u"trailing %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(WideString(c.format)));
        WideString out(u"stale");
        FormatMessageText(out, WideString(c.format), WideString(c.value));
        EXPECT_EQ(out, WideString(c.expected));
    }
}

}  // namespace
}  // namespace qv
