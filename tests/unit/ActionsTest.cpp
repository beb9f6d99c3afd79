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
        EXPECT_EQ(RunInstaller(k.plat, Identity(u"p_x64.msi", kNewCode), WideString(u"x"),
                               restartNeeded, k.log),
                  c.result);
        EXPECT_EQ(restartNeeded, c.restartNeeded);
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
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(longest)), 0u);
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(longest + u"x")), 206u);
    EXPECT_EQ(k.processes.commandLines.size(), 4u);
    EXPECT_EQ(k.Leaks(), "");
}

// Only KSProcess and KSProcess64 change, and only when every step succeeds.
TEST(PatchUpgradeSequence, AllOrNothing) {
    struct {
        const char* name;
        const char* fault;
        bool patched;
    } cases[] = {
        {"success", nullptr, true},
        {"no_cached_path", "ProductInfo", false},
        {"rows_unreadable", "ReadRemovalActions", false},
        {"write_fails", "WriteConditions", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.Install(kOldCode, u"5.0.9", u"x.msi");
        if (c.fault) k.installer.faults.FailNext(c.fault, 1627);
        PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
        const auto& sequence = k.installer.Package(kCached).sequence;
        EXPECT_EQ(sequence.at(u"KSProcess"),
                  c.patched ? u"(REMOVE=\"ALL\") AND NOT UPGRADINGPRODUCTCODE" : u"REMOVE=\"ALL\"");
        EXPECT_EQ(sequence.at(u"Other"), u"1");
        EXPECT_EQ(k.log.Has("warning: sequence patch"), !c.patched);
        EXPECT_EQ(k.Leaks(), "");
    }
    Kit k;
    PatchUpgradeSequence(k.installer, WideString(), k.log);
    EXPECT_TRUE(k.installer.calls.empty());
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
    PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
    EXPECT_EQ(k.installer.calls.size(), 1u);  // the second finds nothing to change
}

// A product whose upgrade failed repairs and removes itself as before: the original condition
// stays, only an upgrade's removal is taken out.
TEST(GuardedCondition, KeepsTheOriginal) {
    const struct {
        const char16_t* condition;
        const char16_t* guarded;
    } cases[] = {
        {u"REMOVE=\"ALL\"", u"(REMOVE=\"ALL\") AND NOT UPGRADINGPRODUCTCODE"},
        {u"", u"NOT UPGRADINGPRODUCTCODE"},
        {u"A OR B", u"(A OR B) AND NOT UPGRADINGPRODUCTCODE"},
        {u"Not UPGRADINGPRODUCTCODE", u"Not UPGRADINGPRODUCTCODE"},
        {u"REMOVE AND NOT upgradingproductcode", u"REMOVE AND NOT upgradingproductcode"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GuardedCondition(WideString(c.condition)), WideString(c.guarded));
}

TEST(ImportRootCertificates, FileByFileSkippingWhatIsNoStore) {
    Kit k;
    for (const char16_t* f : {u"a.crt", u"b.cer", u"c.p7b", u"broken.cer", u"d.cer"})
        k.files.Add(u"C:\\Kit", f);
    k.certificates.AddFile(u"C:\\Kit\\a.crt", {{"A"}});
    k.certificates.AddFile(u"C:\\Kit\\b.cer", {{"B"}});
    k.certificates.AddFile(u"C:\\Kit\\c.p7b", {{"C1", "C2", "C3"}});
    k.certificates.AddFile(u"C:\\Kit\\broken.cer", std::nullopt);
    k.certificates.AddFile(u"C:\\Kit\\d.cer", {{"D"}});
    k.certificates.failingAdds = {"C2"};
    ImportRootCertificates(k.certificates, ReadKitFolder(k.files), k.log);
    EXPECT_EQ(k.certificates.root, (std::vector<std::string>{"B", "D", "C1", "C3", "A"}));
    EXPECT_EQ(k.Leaks(), "");
    k.certificates.root.clear();
    k.certificates.rootOpenable = false;
    ImportRootCertificates(k.certificates, ReadKitFolder(k.files), k.log);
    EXPECT_TRUE(k.certificates.root.empty());
    EXPECT_EQ(k.certificates.rootOpens, 8);  // once per readable file, in each pass
}

TEST(RunInitTool, RunsOnlyFromAFolderOfAUsableComponent) {
    struct {
        const char* name;
        int state;
        const char16_t* path;
        const char* command;
    } cases[] = {
        {"local", 3, u"C:\\Program Files\\Q\\lib\\key.dll",
         "\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init"},
        {"broken", 0, u"C:\\Q\\key.dll", nullptr},
        {"unknown_empty_path", -1, u"", nullptr},
        {"negative_with_folder", -2, u"D:\\Apps\\X\\lib\\key.dll",
         "\"D:\\Apps\\X\\lib\\ordo_tool.exe\" /init"},
        {"no_folder", 3, u"key.dll", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.installer.products[kNewCode].components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {
            c.state, c.path};
        k.processes.script = {ProcessOutcome::Exit(3010)};
        ToolResult r = RunInitTool(k.plat, WideString(kNewCode), k.log);
        EXPECT_EQ(r.ran, c.command != nullptr);
        EXPECT_EQ(r.code, c.command ? 3010u : 0u);
        EXPECT_EQ(k.Started(),
                  c.command ? std::vector<std::string>{c.command} : std::vector<std::string>{});
    }
    // A tool that fails is a warning with Windows' text; 0 and 3010 are none.
    for (uint32_t code : {0u, 3010u, 5u}) {
        Kit k;
        k.ToolInstalledFor(kNewCode);
        k.processes.script = {ProcessOutcome::Exit(code)};
        RunInitTool(k.plat, WideString(kNewCode), k.log);
        EXPECT_EQ(k.log.Has("warning: the tool failed (5): text of 5"), code == 5) << code;
    }
}

}  // namespace
}  // namespace qv::testing
