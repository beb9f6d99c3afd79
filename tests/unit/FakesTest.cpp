// The fake behaviours that product tests lean on and that are easy to get wrong.
#include <gtest/gtest.h>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

TEST(FakesTest, WildcardMatchesAsTheDirectorySearch) {
    struct Case {
        const char16_t* pattern;
        const char16_t* name;
        bool matches;
    } cases[] = {
        {u"*x64**kc1**rus**.msi", u"setup_x64_kc1_rus.msi", true},
        {u"*x64**kc1**rus**.msi", u"setup_rus_kc1_x64.msi", false},
        {u"*x64**.msi", u"SETUP_X64.MSI", true},
        {u"*x64*", u"x64", true},
        {u"*kc1*", u"kc", false},
        {u"*rus*", u"пакет_RUS.msi", true},
        {u"*ПАКЕТ*", u"пакет_ёж.msi", true},
        {u"*Ё*", u"ё", true},
        {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},
        {u"a?c", u"abbc", false},
        {u"*a*b", u"aXbYb", true},
        {u"*a*b", u"aXbYc", false},
        {u"*.msi", u"a.msi.txt", false},
        {u"*.msi", u"..", false},
        {u"**", u"anything", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MatchesWildcard(c.pattern, c.name), c.matches)
            << ToUtf8(c.pattern) << " / " << ToUtf8(c.name);
    }
}

TEST(FakesTest, FindFirstListsMatchesInOrderAndReportsWindowsErrors) {
    FakeFileSystem files;
    files.Add(u"C:\\Kit", u"b_x64.msi");
    files.Add(u"C:\\Kit\\", u"Sub_x64", true);
    files.Add(u"c:\\kit", u"a_X64.MSI");
    files.AddFolder(u"C:\\Empty");

    uint32_t error = 0;
    {
        auto search = files.FindFirst(u"C:\\KIT\\*x64*", error);
        ASSERT_NE(search, nullptr);
        std::vector<std::string> names = {ToUtf8(search->Name())};
        while (search->Next()) names.push_back(ToUtf8(search->Name()));
        EXPECT_EQ(names, (std::vector<std::string>{"b_x64.msi", "Sub_x64", "a_X64.MSI"}));
        EXPECT_FALSE(search->Next());
        EXPECT_EQ(files.OpenSearches(), 1);
    }
    EXPECT_EQ(files.OpenSearches(), 0);
    EXPECT_EQ(files.FindFirst(u"C:\\Kit\\*win32*", error), nullptr);
    EXPECT_EQ(error, 2u);
    EXPECT_EQ(files.FindFirst(u"C:\\Empty\\*", error)->Name(), WideString(u"."));
    EXPECT_EQ(files.FindFirst(u"C:\\Nowhere\\*.msi", error), nullptr);
    EXPECT_EQ(error, 3u);
    EXPECT_EQ(files.FindFirst(u"*x64*", error)->Name(), WideString(u"b_x64.msi"));  // cwd C:\Kit
    EXPECT_EQ(files.patterns.size(), 5u);
}

TEST(FakesTest, ModuleFileNameIsCutAndTerminatedWhenTheBufferIsShort) {
    FakeFileSystem files;
    files.modulePath = u"C:\\K\\s.exe";  // 10 units
    struct Case {
        uint32_t size;
        uint32_t result;
        std::u16string text;
    } cases[] = {{11, 10, u"C:\\K\\s.exe"}, {10, 10, u"C:\\K\\s.ex"}, {4, 4, u"C:\\"}};
    for (const Case& c : cases) {
        std::u16string buffer(16, u'#');
        EXPECT_EQ(files.GetModuleFileName(buffer.data(), c.size), c.result) << c.size;
        EXPECT_EQ(std::u16string(buffer.c_str()), c.text) << c.size;
    }
}

constexpr const char16_t* kProduct = u"{11111111-1111-1111-1111-111111111111}";
constexpr const char16_t* kOther = u"{22222222-2222-2222-2222-222222222222}";
constexpr const char16_t* kUpgrade = u"{33333333-3333-3333-3333-333333333333}";
constexpr const char16_t* kComponent = u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}";

class FakeInstallerTest : public testing::Test {
  protected:
    FakeInstallerTest() {
        FakeProduct& product = installer.AddProduct(kProduct, kUpgrade);
        product.info[u"VersionString"] = u"1.2.3";
        product.sourceList[u"PackageName"] = u"a.msi";
        product.components[kComponent] = {kInstallStateLocal, u"D:\\X\\key.dll"};
        installer.AddProduct(kOther, kUpgrade);
        installer.packages[u"C:\\Kit\\a.msi"].properties = {{u"ProductCode", kProduct},
                                                            {u"Empty", u""}};
    }
    FakeInstaller installer;
};

// One call of a reader: capacity UINT32_MAX stands for a null buffer.
struct Read {
    uint32_t capacity;
    uint32_t result;
    uint32_t length;
    std::u16string text;
};

template <typename Call>
void ExpectReads(const std::vector<Read>& reads, Call call) {
    for (const Read& r : reads) {
        std::u16string buffer(64, u'#');
        uint32_t length = r.capacity;
        uint32_t result = call(r.capacity == UINT32_MAX ? nullptr : buffer.data(), &length);
        EXPECT_EQ(result, r.result) << r.capacity;
        EXPECT_EQ(length, r.length) << r.capacity;
        if (r.capacity != UINT32_MAX && r.capacity > 0) {
            EXPECT_EQ(std::u16string(buffer.c_str()), r.text) << r.capacity;
        }
    }
}

TEST_F(FakeInstallerTest, StringReadsFollowTheLengthProtocol) {
    ExpectReads({{UINT32_MAX, 0, 5, u""},
                 {0, 234, 5, u""},
                 {3, 234, 5, u"1."},
                 {5, 234, 5, u"1.2."},
                 {6, 0, 5, u"1.2.3"}},
                [&](char16_t* b, uint32_t* n) {
                    return installer.GetProductInfo(kProduct, u"VersionString", b, n);
                });
    ExpectReads({{6, 0, 5, u"a.msi"}, {5, 234, 5, u"a.ms"}}, [&](char16_t* b, uint32_t* n) {
        return installer.SourceListGetInfo(kProduct, 4, 0, u"PackageName", b, n);
    });
    MsiHandle package = 0;
    ASSERT_EQ(installer.OpenPackageEx(u"c:\\kit\\A.MSI", 1, &package), 0u);
    ExpectReads({{0, 234, 38, u""}, {39, 0, 38, kProduct}}, [&](char16_t* b, uint32_t* n) {
        return installer.GetProperty(package, u"ProductCode", b, n);
    });
    for (const char16_t* name : {u"Empty", u"Absent"}) {
        SCOPED_TRACE(ToUtf8(WideString(name)));
        ExpectReads({{0, 0, 0, u""}, {1, 0, 0, u""}}, [&](char16_t* b, uint32_t* n) {
            return installer.GetProperty(package, name, b, n);
        });
    }
    uint32_t length = 0;
    EXPECT_EQ(installer.GetProperty(package + 100, u"ProductCode", nullptr, &length), 6u);
    EXPECT_EQ(installer.GetProductInfo(kOther, u"VersionString", nullptr, &length), 1608u);
    EXPECT_EQ(installer.GetProductInfo(u"", u"VersionString", nullptr, &length), 1605u);
    EXPECT_EQ(installer.SourceListGetInfo(u"{0}", 4, 0, u"PackageName", nullptr, &length), 1605u);
    EXPECT_EQ(installer.CloseHandle(package), 0u);
    EXPECT_EQ(installer.CloseHandle(package), 6u);
    EXPECT_EQ(installer.OpenHandleCount(), 0u);
}

TEST_F(FakeInstallerTest, DatabaseChangesOnlyWithACommit) {
    const std::u16string path = u"C:\\windows\\Installer\\1.msi";
    const std::vector<SequenceRow> before = {
        {u"CostInitialize", u""}, {u"KSProcess", u"NOT Installed"}, {u"KSProcess64", u""}};
    const std::vector<SequenceRow> patched = {{u"CostInitialize", u""},
                                              {u"KSProcess", u"Not UPGRADINGPRODUCTCODE"},
                                              {u"KSProcess64", u"Not UPGRADINGPRODUCTCODE"}};
    struct Case {
        uint32_t persist;
        bool commit;
        const std::vector<SequenceRow>& after;
    } cases[] = {{1, true, patched}, {1, false, before}, {0, true, before}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.persist) + (c.commit ? " commit" : " no commit"));
        installer.databases[path].installExecuteSequence = before;
        MsiHandle database = 0, view = 0;
        ASSERT_EQ(installer.OpenDatabase(path.c_str(), c.persist, &database), 0u);
        ASSERT_EQ(installer.DatabaseOpenView(database, FakeInstaller::kPatchStatement, &view), 0u);
        EXPECT_EQ(installer.ViewExecute(view, 0), 0u);
        if (c.commit) {
            EXPECT_EQ(installer.DatabaseCommit(database), 0u);
        }
        EXPECT_EQ(installer.CloseHandle(view), 0u);
        EXPECT_EQ(installer.CloseHandle(database), 0u);
        EXPECT_EQ(installer.databases[path].installExecuteSequence, c.after)
            << c.persist << c.commit;
    }
    MsiHandle database = 0, view = 0;
    ASSERT_EQ(installer.OpenDatabase(path.c_str(), 1, &database), 0u);
    EXPECT_EQ(installer.DatabaseOpenView(database, u"UPDATE `InstallExecuteSequence` Set", &view),
              1615u);
    installer.faults.FailNext("DatabaseOpenView", 1627, 1);
    EXPECT_EQ(installer.DatabaseOpenView(database, FakeInstaller::kPatchStatement, &view), 0u);
    EXPECT_EQ(installer.DatabaseOpenView(database, FakeInstaller::kPatchStatement, &view), 1627u);
    EXPECT_EQ(installer.OpenDatabase(u"C:\\missing.msi", 1, &database), 110u);
    EXPECT_EQ(installer.OpenHandleCount(), 2u);
}

TEST(FakesTest, DialogClicksSwitchRadioGroupsButCheckButtonDoesNot) {
    struct Recorder : DialogHandler {
        std::vector<int> commands;
        intptr_t OnInitDialog(DialogWindow& dialog) override {
            dialog.CheckButton(1006);
            dialog.CheckButton(1007);
            dialog.CheckButton(1008);
            return 1;
        }
        intptr_t OnCommand(DialogWindow& dialog, int id) override {
            commands.push_back(id);
            if (id == 118) dialog.EndDialog(5);
            return 0;
        }
        intptr_t OnDestroy(DialogWindow&) override { return 0; }
    } handler;
    FakeUi ui;
    ui.dialogTemplate = {{118, {u"Install"}},  {1006, {u"Russian"}}, {1007, {u"English"}},
                         {1008, {u"KC1"}},     {1009, {u"KC2"}},     {1010, {u"KC3", false}},
                         {1015, {u"Settings"}}};
    ui.clicks = {1009, 118, 2};
    uint32_t error = 99;
    EXPECT_EQ(ui.DialogBox(102, handler, error), 5);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(handler.commands, (std::vector<int>{1009, 118}));
    EXPECT_EQ(ui.clicks.size(), 1u);
    auto checked = [&](size_t step, int id) { return ui.dialogStates[step].at(id).checked; };
    EXPECT_TRUE(checked(0, 1006) && checked(0, 1007) && checked(0, 1008));
    EXPECT_TRUE(!checked(1, 1008) && checked(1, 1009) && !checked(1, 1010));

    FakeDialogWindow& dialog = *ui.lastDialog;
    EXPECT_EQ(dialog.GetItemText(1015, 9), WideString(u"Settings"));
    EXPECT_EQ(dialog.GetItemText(1015, 8), WideString(u"Setting"));
    EXPECT_EQ(dialog.GetItemText(1015, 0), WideString());
}

}  // namespace
}  // namespace qv::fakes
