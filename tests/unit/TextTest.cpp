#include <gtest/gtest.h>

#include "apply/InitTool.h"
#include "apply/InstallerInvocation.h"
#include "common/CommandLine.h"
#include "common/ReadGrowing.h"
#include "common/ResultCodes.h"
#include "common/WideString.h"
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

// A Windows-shaped read of `value`, as the calls setup.exe makes behave on Windows and on Wine.
struct FakeRead {
    enum Kind {
        kWineTerminator,  // Wine's MsiSourceListGetInfoW: a terminator at buffer[length], always
        kSuccessInBytes,  // Wine's MsiSourceListEnumSourcesW: short buffer, success, bytes
        kMoreData,        // Windows: ERROR_MORE_DATA with the length needed
        kGrowing,         // the value outgrows each buffer it is given
        kFails,           // access denied
    } kind;
    std::u16string value;
    std::vector<uint32_t> lent;  // the room of each call, terminator included

    static uint32_t Call(const void* context, char16_t* buffer, ReadSize* size) {
        auto& self = *const_cast<FakeRead*>(static_cast<const FakeRead*>(context));
        uint32_t room = *size;
        self.lent.push_back(room);
        uint32_t length = static_cast<uint32_t>(self.value.size());
        bool fits = length < room;
        switch (self.kind) {
            case kWineTerminator:
                buffer[length] = 0;  // past a short buffer: ASan stops the test there
                if (fits) self.value.copy(buffer, length);
                *size = length;
                return fits ? 0 : kErrorMoreData;
            case kSuccessInBytes:
                if (fits) self.value.copy(buffer, length), buffer[length] = 0;
                *size = fits ? length : 2 * length;
                return 0;
            case kGrowing:
                self.value.append(room, u'x');
                *size = room + 1;
                return kErrorMoreData;
            case kFails:
                return kErrorAccessDenied;
            default:
                if (fits) self.value.copy(buffer, length), buffer[length] = 0;
                *size = length;
                return fits ? 0 : kErrorMoreData;
        }
    }
};

TEST(ReadGrowing, GivesRoomFromTheFirstCallAndGrowsAsWindowsAsks) {
    const std::u16string name19 = u"abc_x64_kc1_eng.msi";
    const std::u16string network(300, u'n');
    const struct {
        const char* name;
        FakeRead::Kind kind;
        std::u16string value;
        bool required;
        uint32_t code;
        size_t calls;
    } rows[] = {
        {"wine_terminator_within_first_room", FakeRead::kWineTerminator, name19, true, 0, 1},
        {"success_measured_in_bytes_grows", FakeRead::kSuccessInBytes, network, false, 0, 2},
        {"more_data_grows", FakeRead::kMoreData, network, false, 0, 2},
        {"value_that_keeps_growing_gives_up", FakeRead::kGrowing, u"", false, kErrorMoreData,
         kReadCalls},
        {"plain_failure", FakeRead::kFails, name19, false, kErrorAccessDenied, 1},
        {"required_value_empty_fails", FakeRead::kMoreData, u"", true, kErrorBadConfiguration, 1},
        {"optional_value_empty_reads", FakeRead::kMoreData, u"", false, 0, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        FakeRead read{row.kind, row.value, {}};
        WideString value(u"before");
        bool first = false;
        EXPECT_EQ(ReadGrowing(value, &FakeRead::Call, &read, row.required, &first), row.code);
        EXPECT_EQ(read.lent.size(), row.calls);
        EXPECT_GE(read.lent[0], 261u);  // MAX_PATH + 1
        // A failed read leaves the value as it was, and tells whether the first call failed.
        EXPECT_EQ(value.str(), row.code == 0 ? row.value : u"before");
        EXPECT_EQ(row.code != 0 && first, row.code != 0 && row.calls == 1);
    }
}

}  // namespace
}  // namespace qv
