#include <gtest/gtest.h>

#include "Kit.h"
#include "actions/Certificates.h"
#include "actions/InitTool.h"
#include "actions/InstallerInvocation.h"
#include "actions/ProcessRunner.h"
#include "actions/SequencePatch.h"

namespace qv::testing {
namespace {

using fakes::ProcessOutcome;

TEST(FindInstallPackage, FallsBackWithoutLevelThenToPlatformAlone) {
    // clang-format off
    struct {
        const char16_t* kc;
        const char16_t* lang;
        std::vector<std::u16string> files;
        uint32_t status;
        const char16_t* found;
        int fallback;
    } cases[] = {
        {u"*kc1*", u"*rus*", {u"a_x64_kc2_rus.msi", u"b_x64_kc1_eng.msi"}, 0,
         u"C:\\Kit\\a_x64_kc2_rus.msi", 1},
        {u"*kc1*", u"*eng*", {u"a_x64_kc2_rus.msi", u"b_x64_kc1_eng.msi"}, 0,
         u"C:\\Kit\\b_x64_kc1_eng.msi", 0},
        {u"", u"*deu*", {u"a_x64_kc2_rus.msi"}, 0, u"C:\\Kit\\a_x64_kc2_rus.msi", 2},
        {u"*kc1*", u"*rus*", {u"a_win32_kc1_rus.msi"}, 2, u"", 3},
        // Only packages: the readme and the cabinet carry the tokens in vain.
        {u"*kc1*", u"*eng*", {u"notes_x64_kc1_eng.txt", u"qv_x64_kc1_eng.cab", u"qv_x64.msi"}, 0,
         u"C:\\Kit\\qv_x64.msi", 2},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(WideString(c.found)));
        Kit k;
        for (const auto& f : c.files) k.files.Add(u"C:\\Kit", f);
        WideString path;
        int fallback = -1;
        EXPECT_EQ(FindInstallPackage(k.files, WideString(u"*x64*"), WideString(c.kc),
                                     WideString(c.lang), path, fallback),
                  c.status);
        EXPECT_EQ(path, WideString(c.found));
        EXPECT_EQ(fallback, c.fallback);
    }
}

TEST(RunInstaller, RestartCodesAreSuccessThatNeedsARestart) {
    struct {
        uint32_t exit;
        uint32_t result;
        bool restartNeeded;
    } cases[] = {
        {0, 0, false},   {3010, 0, true},     {3011, 0, true},
        {1641, 0, true}, {1602, 1602, false}, {1603, 1603, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exit);
        Kit k;
        k.processes.script = {ProcessOutcome::Exit(c.exit)};
        bool restartNeeded = !c.restartNeeded;
        EXPECT_EQ(RunInstaller(k.plat, WideString(u"C:\\Kit\\p_x64_kc1_eng.msi"),
                               WideString(kNewCode.c_str()), WideString(), restartNeeded, k.log),
                  c.result);
        EXPECT_EQ(restartNeeded, c.restartNeeded);
        EXPECT_FALSE(k.registry.HasKey(u"Software\\NeedBstrReboot"));
        EXPECT_EQ(k.Leaks(), "");
    }
}

TEST(RunProcessAndWait, StartErrorOrExitCode) {
    Kit k;
    k.processes.script = {ProcessOutcome::StartFails(2), ProcessOutcome::Exit(1618),
                          ProcessOutcome::Unreadable()};
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(u"x")), 2u);
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(u"x")), 1618u);
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(u"x")), 0u);
    // The longest line Windows takes is started; one unit more is refused, not cut.
    std::u16string longest(kMaxCommandLine, u'x');
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(longest.c_str())), 0u);
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString((longest + u"x").c_str())), 206u);
    EXPECT_EQ(k.processes.commandLines.size(), 4u);
    EXPECT_EQ(k.Leaks(), "");
}

TEST(PatchUpgradeSequence, CommitsOnlyAfterTheUpdateRan) {
    struct {
        const char* name;
        const char* fault;
        unsigned skip;
        bool patched;
    } cases[] = {
        {"success", nullptr, 0, true},
        {"no_cached_path", "GetProductInfo", 0, false},
        {"open_fails", "OpenDatabase", 0, false},
        {"view_fails", "DatabaseOpenView", 0, false},
        {"execute_fails", "ViewExecute", 0, false},
        {"commit_fails", "DatabaseCommit", 0, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.Install(kOldCode, u"5.0.9", u"x.msi");
        if (c.fault) k.installer.faults.FailNext(c.fault, 1627, c.skip);
        EXPECT_EQ(PatchUpgradeSequence(k.installer, WideString(kOldCode.c_str()), k.log), 0u);
        const auto& rows =
            k.installer.databases[u"C:\\windows\\Installer\\1a2b.msi"].installExecuteSequence;
        std::u16string expected = c.patched ? u"Not UPGRADINGPRODUCTCODE" : u"REMOVE=\"ALL\"";
        EXPECT_EQ(rows[0].condition, expected);
        EXPECT_EQ(rows[2].condition, u"1");
        EXPECT_EQ(k.installer.log.Count("DatabaseCommit"),
                  (c.patched || std::string(c.name) == "commit_fails") ? 1u : 0u);
        EXPECT_EQ(k.Leaks(), "");
    }
    Kit k;
    EXPECT_EQ(PatchUpgradeSequence(k.installer, WideString(), k.log), 0u);
    EXPECT_EQ(k.installer.log.Count("OpenDatabase"), 0u);
}

TEST(PatchUpgradeSequence, IsIdempotentAndTouchesOnlyItsRows) {
    Kit k;
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    auto& rows = k.installer.databases[u"C:\\windows\\Installer\\1a2b.msi"].installExecuteSequence;
    rows = {{u"KSProcess64", u"VersionNT64"}, {u"InstallFiles", u""}};
    PatchUpgradeSequence(k.installer, WideString(kOldCode.c_str()), k.log);
    PatchUpgradeSequence(k.installer, WideString(kOldCode.c_str()), k.log);
    EXPECT_EQ(rows, (std::vector<fakes::SequenceRow>{{u"KSProcess64", u"Not UPGRADINGPRODUCTCODE"},
                                                     {u"InstallFiles", u""}}));
}

TEST(ImportRootCertificates, PatternByPatternSkippingWhatIsNoStore) {
    Kit k;
    for (const char16_t* f : {u"a.crt", u"b.cer", u"c.p7b", u"broken.cer", u"d.cer"})
        k.files.Add(u"C:\\Kit", f);
    k.files.Add(u"C:\\Kit", u"dir.cer", true);
    k.certificates.AddFile(u"C:\\Kit\\a.crt", {"A"});
    k.certificates.AddFile(u"C:\\Kit\\b.cer", {"B"});
    k.certificates.AddFile(u"C:\\Kit\\c.p7b", {"C1", "C2", "C3"});
    k.certificates.AddUnreadableFile(u"C:\\Kit\\broken.cer");
    k.certificates.AddFile(u"C:\\Kit\\d.cer", {"D"});
    k.certificates.failingAdds = {"C2"};
    ImportRootCertificates(k.plat, k.log);
    EXPECT_EQ(k.certificates.root, (std::vector<std::string>{"B", "D", "C1", "C3", "A"}));
    EXPECT_EQ(k.Leaks(), "");
}

TEST(ImportRootCertificates, RootStoreThatCannotBeOpenedIsTriedPerFile) {
    Kit k;
    k.files.Add(u"C:\\Kit", u"a.cer");
    k.files.Add(u"C:\\Kit", u"b.cer");
    k.certificates.AddFile(u"C:\\Kit\\a.cer", {"A"});
    k.certificates.AddFile(u"C:\\Kit\\b.cer", {"B"});
    k.certificates.rootOpenable = false;
    ImportRootCertificates(k.plat, k.log);
    EXPECT_TRUE(k.certificates.root.empty());
    EXPECT_EQ(k.certificates.log.Count("OpenMachineRootStore"), 2u);
    EXPECT_EQ(k.Leaks(), "");
}

TEST(RunInitTool, RunsOnlyFromAFolderOfAUsableComponent) {
    struct {
        const char* name;
        int state;
        const char16_t* path;
        bool ran;
        const char* command;
    } cases[] = {
        {"local", 3, u"C:\\Program Files\\Q\\lib\\key.dll", true,
         "\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init"},
        {"broken", 0, u"C:\\Q\\key.dll", false, nullptr},
        {"unknown_empty_path", -1, u"", false, nullptr},
        {"negative_with_folder", -2, u"D:\\Apps\\X\\lib\\key.dll", true,
         "\"D:\\Apps\\X\\lib\\ordo_tool.exe\" /init"},
        {"no_folder", 3, u"key.dll", false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.installer.AddProduct(kNewCode, kUpgradeCode)
            .components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {c.state, c.path};
        k.processes.script = {ProcessOutcome::Exit(3010)};
        ToolResult r = RunInitTool(k.plat, WideString(kNewCode.c_str()), k.log);
        EXPECT_EQ(r.ran, c.ran);
        EXPECT_EQ(r.code, c.ran ? 3010u : 0u);
        EXPECT_EQ(k.Started(),
                  c.command ? std::vector<std::string>{c.command} : std::vector<std::string>{});
    }
}

}  // namespace
}  // namespace qv::testing
