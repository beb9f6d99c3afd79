// Whole runs on the fake platform: the command line, the checks before anything is decided, the
// questions asked between decisions, and what applying a plan leaves behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "Kit.h"
#include "common/ExitCodes.h"
#include "driver/ParseOptions.h"
#include "journal/Journal.h"

namespace qv::testing {
namespace {

using fakes::ProcessOutcome;
constexpr int kYes = 6, kNo = 7;

std::string Install(const std::string& package, const std::string& tail = "") {
    return kMsiexec + "\"C:\\Kit\\" + package + "\" " + tail + " REBOOT=R";
}
const std::string kTool = "\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init";
std::string Remove(const std::u16string& code) {
    return "\"C:\\windows\\system32\\msiexec.exe\" /x " + ToUtf8(WideString(code)) + "  REBOOT=R";
}
const std::string kUsage = ToUtf8(UsageText());
const std::u16string kMarker = u"Software\\NeedBstrReboot";
const std::u16string kDefaultLog = u"C:\\Temp\\QuorvaneSetup_20261207_140359.log";
const std::u16string kJournal = u"HKLM\\Software\\QuorvaneCspSetup\\InProgress";

struct RunCase {
    const char* name;
    std::function<void(Kit&)> arrange;
    std::vector<std::u16string> args;
    int exit;
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    bool markerAfter = false;
    size_t restarts = 0;
    const char* logLine = nullptr;  // a line the log must hold
};

void PrintTo(const RunCase& c, std::ostream* os) {
    *os << c.name;
}

// Two levels and both languages of the x64 packages, the new product not yet installed.
void FreshKit(Kit& k) {
    k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode);
    k.AddPackage(u"qv_x64_kc2_rus.msi", kNewCode);
    k.AddPackage(u"qv_x64_kc3_eng.msi", kNewCode);
    k.ToolInstalledFor(kNewCode);
}

// The same kit over an installed 5.0.9 KC3 English product with another code.
void UpgradeKit(Kit& k) {
    k.Install(kOldCode, u"5.0.9", u"qv_x64_kc3_eng.msi");
    FreshKit(k);
}

const char16_t kLock[] = u"Global\\QuorvaneCspSetup";  // under Wine: no private namespaces

// What a run of `package` ended from outside leaves: its record, the source list of kNewCode
// pointed at the package, and with `committed` the product installed from it.
void Ended(Kit& k, const std::u16string& package, bool committed) {
    SourceList before;
    JournalEntry(k.plat.registry)
        .Begin(k.plat.installer, InstallPackage{Identity(package, kNewCode), {}, false}, before);
    k.installer.PointSourceList(WideString(kNewCode), WideString(package));
    if (committed) k.Msiexec(WideString(u"/i \"C:\\Kit\\" + package + u"\""), 0);
    k.installer.calls.clear();
}

// clang-format off
const RunCase kRunCases[] = {
    {"not_admin", [](Kit& k) { FreshKit(k), k.system.admin = false; }, {}, 1, {"m101"}, {}},
    {"not_admin_silent", [](Kit& k) { FreshKit(k), k.system.admin = false; }, {u"-silent"}, 1,
     {}, {}},
    {"no_package", [](Kit&) {}, {u"-noreboot"}, 2, {"m122"}, {}},
    {"another_setup_running", [](Kit& k) { FreshKit(k), k.processes.heldElsewhere[kLock] = 183; },
     {}, 1618, {"m126"}, {}},
    {"another_setup_running_unopenable",
     [](Kit& k) { FreshKit(k), k.processes.heldElsewhere[kLock] = 5; }, {u"-silent"}, 1618, {},
     {}},
    {"help_silent", FreshKit, {u"-silent", u"-help"}, 0, {}, {}},
    {"help_box", FreshKit, {u"-help"}, 0, {kUsage}, {}},
    {"unknown_argument", FreshKit, {u"-silent", u"-bogus"}, 1639, {}, {}},
    {"missing_value", FreshKit, {u"-kc"}, 1639, {kUsage}, {}},
    {"fresh", FreshKit, {u"-silent", u"-kc", u"kc2", u"-lang", u"rus"}, 0, {},
     {Install("qv_x64_kc2_rus.msi"), kTool}},
    {"same_version_declined_adds_qf",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k);
         k.ui.answers = {kNo};
     },
     {u"-noreboot"}, 0, {"m102 Quorvane CSP"}, {Install("qv_x64_kc3_eng.msi", "/qf "), kTool}},
    {"upgrade_other_level_warns", UpgradeKit, {u"-kc", u"kc1"}, 0, {"m124"},
     {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"dialog_settings_next", [](Kit& k) { FreshKit(k), k.ui.clicks = {1015, 1010, 118}; }, {}, 0,
     {}, {Install("qv_x64_kc3_eng.msi"), kTool}},
    // The marker cannot be written: the run goes on, and the restart is still due.
    {"restart_unrecorded_noreboot",
     [](Kit& k) {
         FreshKit(k), k.processes.script = {ProcessOutcome::Exit(3010)};
         k.registry.faults.FailNext("CreateKey", 5);
     },
     {u"-silent", u"-noreboot", u"-root"}, 3010, {}, {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"restart_unrecorded_restarts",
     [](Kit& k) {
         FreshKit(k), k.processes.script = {ProcessOutcome::Exit(3010)};
         k.registry.faults.FailNext("CreateKey", 5);
     },
     {u"-silent"}, 1641, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, false, 1},
    {"installer_failure_passes_through",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(1603)}; },
     {u"-root"}, 1603, {}, {Install("qv_x64_kc1_eng.msi")}},
    // Failures passed through must not read as setup.exe's own codes 1, 3, 4 or 7.
    {"installer_code_1_is_no_admin_refusal",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(1)}; }, {u"-silent"},
     1619, {}, {Install("qv_x64_kc1_eng.msi")}},
    {"mapped_drive_unseen_is_no_success",
     [](Kit& k) { FreshKit(k), k.files.programPath = u"Z:\\kit\\setup.exe"; }, {u"-silent"},
     1619, {}, {}},
    {"installer_restart_kept_with_noreboot",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(3010)}; },
     {u"-silent", u"-noreboot"}, 3010, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, true},
    {"tool_restart_declined",
     [](Kit& k) {
         FreshKit(k);
         k.processes.script = {ProcessOutcome::Exit(0), ProcessOutcome::Exit(3010)};
         k.ui.answers = {kNo};
     },
     {u"-kc", u"kc1"}, 0, {"m121"}, {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"earlier_marker_restarts_silently", [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker); },
     {u"-silent"}, 1641, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, false, 1},
    // The installer's upgrade left the old product: two registered providers are no success.
    {"two_products_remain", [](Kit& k) { UpgradeKit(k), k.upgradeRemovesOld = false; },
     {u"-kc", u"kc1", u"-root"}, 1638, {"m124", "m128 Quorvane CSP"},
     {Install("qv_x64_kc1_eng.msi")}},
    {"marker_with_subkey_removed",
     [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker), k.registry.AddKey(kMarker + u"\\Sub"); },
     {u"-silent"}, 1641, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, false, 1},
    // A marker that stays would restart the machine on every run.
    {"marker_not_removable",
     [](Kit& k) {
         FreshKit(k), k.registry.AddKey(kMarker);
         k.registry.faults.FailNext("DeleteKey", 5);
     },
     {u"-silent"}, 3010, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, true, 0},
    // -uninstall: msiexec /x of every related product; its restart as after an installation.
    {"uninstall_restart_kept",
     [](Kit& k) { UpgradeKit(k), k.processes.script = {ProcessOutcome::Exit(3010)}; },
     {u"-silent", u"-uninstall", u"-noreboot"}, 3010, {}, {Remove(kOldCode)}, true},
    {"uninstall_declined", [](Kit& k) { UpgradeKit(k), k.ui.answers = {kNo}; }, {u"-uninstall"},
     1602, {"m131 Quorvane CSP"}, {}},
    // Every removal is tried; the first failure is the run's, and 1605 is one already gone.
    {"uninstall_first_of_two_fails",
     [](Kit& k) {
         UpgradeKit(k), k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi");
         k.processes.script = {ProcessOutcome::Exit(1603), ProcessOutcome::Exit(1605)};
     },
     {u"-silent", u"-uninstall"}, 1603, {}, {Remove(kOldCode), Remove(kNewCode)}},
    {"uninstall_one_already_gone",
     [](Kit& k) {
         UpgradeKit(k), k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi");
         k.processes.script = {ProcessOutcome::Exit(1605)};
     },
     {u"-silent", u"-uninstall", u"-kc", u"kc2"}, 0, {}, {Remove(kOldCode), Remove(kNewCode)}},
    {"uninstall_with_reinstall", UpgradeKit, {u"-silent", u"-uninstall", u"-reinstall"}, 1639, {},
     {}},
    // Off the visible window station, or in session 0 (the services', whose WinSta0 nobody sees,
    // visible flag or not): no box, no dialog, and nothing irreversible unasked.
    {"session_0_is_unattended", [](Kit& k) { FreshKit(k), k.system.session = 0; }, {}, 0, {},
     {Install("qv_x64_kc1_eng.msi", "/qn "), kTool}},
    {"unattended_bad_option", [](Kit& k) { FreshKit(k), k.system.stationVisible = false; },
     {u"-typo"}, 1639, {}, {}},
    {"unattended_restart_left_to_the_caller",
     [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker), k.system.stationVisible = false; },
     {u"-kc", u"kc1"}, 3010, {}, {Install("qv_x64_kc1_eng.msi", "/qn "), kTool}, true, 0},
    // A journal that cannot be written costs only the next run's repair.
    {"journal_not_written_installs_anyway",
     [](Kit& k) { FreshKit(k), k.registry.faults.FailNext("CreateKey HKLM", 5); }, {u"-silent"},
     0, {}, {Install("qv_x64_kc1_eng.msi"), kTool}},
    // Another run's steps are its own.
    {"journal_of_another_run_kept",
     [](Kit& k) { FreshKit(k), k.processes.heldElsewhere[kLock] = 183, Ended(k, u"a.msi", true); },
     {u"-silent"}, 1618, {}, {}},
    {"restart_refused",
     [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker), k.restarter.privilege = false; },
     {u"-kc", u"kc1"}, 7, {"m121", "m125"}, {Install("qv_x64_kc1_eng.msi"), kTool}, true},
    // A box that cannot be shown (MessageBoxW answers 0) is no "No": the least change is taken.
    {"same_version_box_fails_changes_nothing",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k);
         k.ui.answers = {0};
     },
     {u"-args", u"/qn"}, 3, {"m102 Quorvane CSP"}, {}, false, 0,
     "warning: box not shown: unattended"},
    {"restart_box_fails_keeps_the_restart",
     [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker), k.ui.answers = {0}; },
     {u"-kc", u"kc1"}, 3010, {"m121"}, {Install("qv_x64_kc1_eng.msi"), kTool}, true, 0,
     "restart marker created: box not shown: unattended"},
    {"same_version_declined_args_choose_the_interface",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k);
         k.ui.answers = {kNo};
     },
     {u"-noreboot", u"-args", u"/qn"}, 0, {"m102 Quorvane CSP"},
     {Install("qv_x64_kc3_eng.msi", "/qn "), kTool}, false, 0,
     "-args choose, not /qf"},
    // msiexec's command line longer than CreateProcessW takes: refused.
    {"args_too_long_refused", FreshKit, {u"-silent", u"-args", std::u16string(32800, u'x')}, 206,
     {}, {}},
    {"package_path_too_long_is_no_missing_product_code",
     [](Kit& k) { FreshKit(k), k.installer.faults.FailNext("ReadPackageIdentity", 206); },
     {u"-noreboot"}, 206, {"m108"}, {}},
    // Removal needs no package of this machine's platform: any package names the products.
    {"uninstall_from_a_kit_of_another_platform",
     [](Kit& k) {
         k.Install(kOldCode, u"5.0.9", u"qv_win32_kc3_eng.msi");
         k.AddPackage(u"qv_win32_kc3_eng.msi", kOldCode, u"5.0.9");
     },
     {u"-silent", u"-uninstall"}, 0, {}, {Remove(kOldCode)}},
    {"uninstall_from_a_kit_without_packages", [](Kit& k) { k.Install(kOldCode, u"5.0.9", u"a"); },
     {u"-silent", u"-uninstall"}, 2, {}, {}},
    // Values the installer keeps for every product: empty, they are a failed read.
    {"installed_version_reads_empty",
     [](Kit& k) {
         UpgradeKit(k), k.installer.faults.FailNext("ProductInfo", 1610);
     },
     {u"-silent"}, 1610, {}, {}, false, 0, "error: VersionString is empty"},
    // A network source the journal could not put back: msiexec never starts.
    {"network_source_unreadable_installs_nothing",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.9", u"qv_x64_kc3_eng.msi").sources->unread = 234;
         FreshKit(k);
     },
     {u"-silent"}, 1610, {}, {}, false, 0,
     "exit code 1610: installed product unreadable; nothing done"},
    // 1638 before anything changed is no "installed".
    {"two_installed_before_any_change",
     [](Kit& k) {
         UpgradeKit(k), k.Install(kNewCode, u"5.0.1", u"qv_x64_kc1_eng.msi");
     },
     {u"-silent"}, 1638, {}, {}, false, 0,
     "exit code 1638: nothing changed"},
};
// clang-format on

class RunTest : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTest, EndsAsExpected) {
    const RunCase& c = GetParam();
    Kit k;
    c.arrange(k);
    EXPECT_EQ(k.RunWith(c.args), c.exit);
    EXPECT_EQ(k.BoxTexts(), c.boxes);
    EXPECT_EQ(k.Started(), c.started);
    EXPECT_EQ(k.registry.HasKey(kMarker), c.markerAfter);
    EXPECT_EQ(k.restarter.Requests(), c.restarts);
    // The installer's upgrade kept the old product: the tool was never run, its record stays.
    EXPECT_EQ(k.registry.HasKey(kJournal), std::string(c.name) == "journal_of_another_run_kept" ||
                                               std::string(c.name) == "two_products_remain");
    EXPECT_EQ(k.Leaks(), "");
    if (c.logLine != nullptr) {
        EXPECT_NE(k.files.Log(kDefaultLog).find(c.logLine), std::string::npos)
            << k.files.Log(kDefaultLog);
    }
}

INSTANTIATE_TEST_SUITE_P(Run, RunTest, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Before msiexec: the installed product's cached package is patched, the source list of the
// package's product points at it, the in-process installer shows nothing.
TEST(Run, PreparesTheInstalledProductBeforeTheInstaller) {
    Kit k;
    UpgradeKit(k);
    k.Install(kNewCode, u"5.0.1", u"old.msi").upgradeCode = u"{other}";
    EXPECT_EQ(k.RunWith({u"-silent", u"-kc", u"kc2", u"-lang", u"rus"}), 0);
    const auto& sequence = k.installer.Package(kCached).sequence;
    EXPECT_EQ(sequence.at(u"KSProcess"), u"(REMOVE=\"ALL\") AND NOT UPGRADINGPRODUCTCODE");
    EXPECT_EQ(sequence.at(u"KSProcess64"), u"NOT UPGRADINGPRODUCTCODE");
    EXPECT_EQ(sequence.at(u"Other"), u"1");
    EXPECT_EQ(k.installer.calls,
              (std::vector<std::string>{
                  "ReadPackageIdentity C:\\Kit\\qv_x64_kc1_eng.msi",
                  "ReadPackageIdentity C:\\Kit\\qv_x64_kc2_rus.msi",
                  "WriteConditions " + ToUtf8(WideString(kCached)),
                  "PointSourceList " + ToUtf8(WideString(kNewCode)) + " qv_x64_kc2_rus.msi"}));
    EXPECT_TRUE(k.installer.internalUiDisabled);
    // From msiexec to the tool the journal holds where the run is going, the source list for
    // the undo and msiexec's process; then it goes.
    std::vector<std::vector<WideString>> records;
    k.processes.onExit = [&](const WideString&, uint32_t) {
        for (const auto& value : k.registry.strings) records.push_back(value.second);
        uint64_t id = 0;
        EXPECT_TRUE(k.registry.QueryQword(kJournal.c_str(), u"Msiexec", id));
        EXPECT_EQ(id, 3u);  // the second run's msiexec
    };
    k.Install(kNewCode, u"5.0.1", u"old.msi").sources->networkSources = {WideString(u"\\\\s\\k\\")};
    EXPECT_EQ(k.RunWith({u"-silent", u"-kc", u"kc2", u"-lang", u"rus"}), 0);
    std::vector<WideString> record{
        u"\\\\s\\k\\",         u"old.msi",          u"{PC qv_x64_kc2_rus.msi}", u"5.0.10",
        u"qv_x64_kc2_rus.msi", WideString(kNewCode)};
    EXPECT_EQ(records, (std::vector<std::vector<WideString>>{record, record}));
    EXPECT_FALSE(k.registry.HasKey(kJournal));
}

// A sealed setup.exe uses only the files of its seal, each as sealed, and stops before anything
// changes when one it uses is not.
TEST(Run, SealedKit) {
    const std::u16string kPackage = u"qv_x64_kc1_eng.msi", kCabinet = u"qv_x64_kc1_eng.cab";
    struct {
        const char* name;
        std::function<void(Kit&)> change;  // after sealing
        int exit;
        const char* box;
    } cases[] = {
        {"as_sealed", [](Kit&) {}, 0, nullptr},
        {"package_changed",
         [&](Kit& k) { k.files.contents[fakes::Fold(u"C:\\KIT\\" + kPackage)][3] ^= 1; },
         static_cast<int>(0x80091007), "m134 qv_x64_kc1_eng.msi"},
        {"cabinet_swapped",
         [&](Kit& k) { k.files.contents[fakes::Fold(u"C:\\KIT\\" + kCabinet)] = "another cab"; },
         static_cast<int>(0x80091007), "m134 qv_x64_kc1_eng.cab"},
        {"cabinet_missing",
         [&](Kit& k) { k.files.contents.erase(fakes::Fold(u"C:\\KIT\\" + kCabinet)); },
         static_cast<int>(0x80091007), "m134 qv_x64_kc1_eng.cab"},
        {"cabinet_not_sealed",
         [&](Kit& k) {
             k.installer.Package(u"C:\\Kit\\" + kPackage).cabinets.emplace_back(u"extra.cab");
         },
         static_cast<int>(0x80091007), "m134 extra.cab"},
        {"certificate_changed",
         [](Kit& k) { k.files.contents[fakes::Fold(u"C:\\KIT\\R1.cer")] = "R2"; },
         static_cast<int>(0x80091007), "m134 R1.cer"},
        // Gone from the folder, R1.cer listed last: missing, not skipped.
        {"certificate_missing",
         [](Kit& k) {
             k.files.folders[u"C:\\KIT"].pop_back();
             k.files.contents.erase(fakes::Fold(u"C:\\KIT\\R1.cer"));
         },
         static_cast<int>(0x80091007), "m134 R1.cer"},
        {"package_reads_a_loose_file",
         [&](Kit& k) { k.installer.Package(u"C:\\Kit\\" + kPackage).looseFile = u"tool.exe"; },
         static_cast<int>(0x80091007), "m134 qv_x64_kc1_eng.msi"},
        // Planted beside the kit, sorting first: not in the seal, so no package at all.
        {"planted_package_and_certificate_ignored",
         [](Kit& k) {
             k.AddPackage(u"aaa_x64_kc1_eng.msi", kOldCode);
             k.files.AddFile(u"C:\\Kit", u"000.cer", "R2");
         },
         0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        FreshKit(k);
        k.files.AddFile(u"C:\\Kit", kCabinet, "cabinet");
        k.installer.Package(u"C:\\Kit\\" + kPackage).cabinets = {WideString(kCabinet)};
        // The seal lists a file this run does not use, and which is gone: no matter.
        k.files.AddFile(u"C:\\Kit", u"unused.mst", "cert");
        k.files.AddFile(u"C:\\Kit", u"R1.cer", "R1");
        k.certificates.blobs = {{"R1", {"R1"}}, {"R2", {"R2"}}};
        k.resources.seal = k.SealOf({kCabinet, kPackage, u"qv_x64_kc2_rus.msi",
                                     u"qv_x64_kc3_eng.msi", u"R1.cer", u"unused.mst"});
        k.files.contents.erase(fakes::Fold(u"C:\\KIT\\unused.mst"));
        c.change(k);
        EXPECT_EQ(k.RunWith({u"-kc", u"kc1", u"-lang", u"eng", u"-noreboot", u"-root"}), c.exit);
        EXPECT_EQ(k.BoxTexts(),
                  c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{});
        EXPECT_EQ(k.Started().size(), c.exit == 0 ? 2u : 0u);
        EXPECT_EQ(k.certificates.root,
                  c.exit == 0 ? std::vector<std::string>{"R1"} : std::vector<std::string>{});
        EXPECT_EQ(k.Leaks(), "");  // every held file let go
    }
}

// The lock lives in the administrators' private namespace, where no standard user can take its
// name first; where Windows has none (Wine), under its global name.
TEST(Run, SingleInstanceLock) {
    const std::string kPrivate = "QuorvaneCspSetup\\Lock", kGlobal = "Global\\QuorvaneCspSetup";
    const struct {
        const char* name;
        std::deque<uint32_t> answers;  // of create and open, in turn
        std::u16string heldElsewhere;
        int exit;
        std::vector<std::string> calls;
    } cases[] = {
        {"namespace_made", {0}, u"", 0, {"create", kPrivate}},
        {"namespace_opened", {183, 0}, u"", 0, {"create", "open", kPrivate}},
        {"namespace_gone_between_create_and_open",
         {183, 2, 0},
         u"",
         0,
         {"create", "open", "create", kPrivate}},
        {"namespace_there_but_never_opened",
         {183, 5, 183, 5, 183, 5, 183, 5, 183, 5, 183, 5, 183, 5},
         u"",
         1618,
         {"create", "open", "create", "open", "create", "open", "create", "open", "create", "open",
          "create", "open", "create", "open"}},
        {"namespace_opened_once_let_go",
         {183, 5, 183, 5, 183, 0},
         u"",
         0,
         {"create", "open", "create", "open", "create", "open", kPrivate}},
        {"no_private_namespaces", {50}, u"", 0, {"create", kGlobal}},
        {"another_run_holds_it", {0}, u"QuorvaneCspSetup\\Lock", 1618, {"create", kPrivate}},
        // A standard user's object under the global name no longer matters.
        {"squatted_global_name", {0}, u"Global\\QuorvaneCspSetup", 0, {"create", kPrivate}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        FreshKit(k);
        k.processes.namespaceAnswers = c.answers;
        if (!c.heldElsewhere.empty()) k.processes.heldElsewhere[c.heldElsewhere] = 183;
        k.ui.onBox = [&k] { EXPECT_EQ(k.processes.openNamespaces, 0); };
        EXPECT_EQ(k.RunWith({u"-noreboot", u"-kc", u"kc1"}), c.exit);
        EXPECT_EQ(k.processes.lockCalls, c.calls);
        // Nobody but SYSTEM and administrators may open either, and hold it open.
        EXPECT_EQ(k.processes.securities, std::set<std::u16string>{u"D:(A;;GA;;;SY)(A;;GA;;;BA)"});
        // A second and a half at most for one that cannot be opened.
        uint32_t slept = 0;
        for (uint32_t pause : k.restarter.sleeps) slept += pause;
        EXPECT_LE(slept, 1500u);
        EXPECT_EQ(slept != 0, c.calls.size() > 2 && c.calls[2] == "create");
    }
}

// The machine from IsWow64Process2's answers, or IsWow64Process's where Windows lacks it (Wine
// runs no ARM64); -whatif names it and the package. On ARM64 the kit's arm64 package, else x64.
TEST(Run, MachineChoosesThePlatform) {
    const std::u16string kArm = u"qv_arm64_kc1_eng.msi", kWin32 = u"qv_win32_kc1_eng.msi",
                         kX64 = u"qv_x64_kc1_eng.msi";
    const struct {
        const char* name;
        uint16_t process, native;  // native 0: no IsWow64Process2, and IsWow64Process answers
        std::vector<std::u16string> kit;
        const char* machine;
    } cases[] = {
        {"x86_on_x86", 0, 0x14C, {kArm, kWin32, kX64}, "x86: the win32"},
        {"x86_on_x64", 0x14C, 0x8664, {kArm, kWin32, kX64}, "x64: the x64"},
        {"x86_on_arm64", 0x14C, 0xAA64, {kArm, kWin32, kX64}, "ARM64: the arm64"},
        {"arm64_kit_without_arm64", 0x14C, 0xAA64, {kWin32, kX64}, "ARM64: the x64"},
        {"arm64_kit_without_x64", 0x14C, 0xAA64, {kWin32}, "ARM64: the x64"},
        {"no_IsWow64Process2_64_bit", 1, 0, {kArm, kWin32, kX64}, "x64: the x64"},
        {"no_IsWow64Process2_32_bit", 0, 0, {kArm, kWin32, kX64}, "x86: the win32"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        for (const std::u16string& name : c.kit) k.AddPackage(name, kNewCode);
        if (c.native == 0) k.system.machines.reset(), k.system.wow64 = c.process != 0;
        if (c.native != 0) k.system.machines = {{c.process, c.native}};
        k.ui.output = "";
        bool found = c.kit.size() > 1;
        EXPECT_EQ(k.RunWith({u"-whatif", u"-silent"}), found ? 0 : 2);
        const std::string& plan = *k.ui.output;
        std::string machine(c.machine), token = machine.substr(machine.find("the ") + 4);
        EXPECT_NE(plan.find("machine " + machine + " packages"), std::string::npos);
        EXPECT_EQ(plan.find("package: C:\\Kit\\qv_" + token + "_kc1") != std::string::npos, found);
        EXPECT_EQ(plan.find("warning: ARM64 Windows: installing the x64 package; native ARM64 "
                            "programs cannot use it") != std::string::npos,
                  found && machine == "ARM64: the x64");
    }
}

// An installation over the product that fails leaves its source list as it was: the next run
// finds the package it really came from and keeps its level.
TEST(Run, InstallationFailedRestoresTheSourceList) {
    Kit k;
    FreshKit(k);
    k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi").sources->networkSources = {
        WideString(u"\\\\server\\kits\\")};
    k.processes.script = {ProcessOutcome::Exit(1603)};
    EXPECT_EQ(k.RunWith({u"-silent", u"-reinstall", u"-kc", u"kc2", u"-lang", u"rus"}), 1603);
    const SourceList& sources = *k.installer.products[kNewCode].sources;
    EXPECT_EQ(sources.packageName, WideString(u"qv_x64_kc1_eng.msi"));
    EXPECT_EQ(sources.networkSources.size(), 1u);
    EXPECT_FALSE(k.registry.HasKey(kJournal));
}

// A run of -reinstall -kc kc2 over kc1 ended from outside, and the next run: undone unless the
// installed product is the target (its PackageCode), else finished forward, its steps first in this
// run's plan; the exit code of the two together. -whatif before it says the same, changing nothing,
// and assumes that the steps left succeed.
TEST(Run, RecoveryThenPlan) {
    const auto none = [](Kit&) {};
    const auto root = [](Kit& k) { k.registry.SetQword(kJournal.c_str(), u"Steps", 1); };
    const auto script = [](std::deque<ProcessOutcome> outcomes) {
        return [outcomes](Kit& k) { k.processes.script = outcomes; };
    };
    const std::vector<std::u16string> kSame{u"-silent", u"-noreboot"};
    const ProcessOutcome k3010 = ProcessOutcome::Exit(3010);
    // clang-format off
    const struct {
        const char* name;
        bool committed;
        std::function<void(Kit&)> arrange;
        std::vector<std::u16string> args;
        int whatif, exit;
        size_t tools;
        bool recordAfter, markerAfter;
    } cases[] = {
        {"not_committed_undone", false, none, {u"-silent", u"-kc", u"kc1"}, 3, 3, 0, false, false},
        // Never "nothing to do" (3) for a run that did what was left.
        {"committed_finished", true, none, {u"-silent", u"-kc", u"kc2"}, 0, 0, 1, false, false},
        {"with_certificates", true, root, kSame, 0, 0, 1, false, false},
        {"tool_asks_a_restart", true, script({k3010}), kSame, 0, 3010, 1, false, true},
        {"then_reinstalled", true, none, {u"-silent", u"-reinstall"}, 0, 0, 2, false, false},
        // The tool's restart stays due, the failure wins.
        {"then_the_plan_fails", true, script({k3010, ProcessOutcome::Exit(1603)}),
         {u"-silent", u"-noreboot", u"-reinstall"}, 0, 1603, 1, false, true},
        // Stopped before any change: the steps wait for a run that goes on.
        {"plan_stops_first", true, none, {u"-silent", u"-kc", u"kc1"}, 1638, 1638, 0, true, false},
        {"installation_still_runs", true, [](Kit& k) { k.processes.installing = true; }, kSame,
         1618, 1618, 0, true, false},
        {"tool_past_its_limit", true, script({ProcessOutcome::Hangs()}),
         {u"-silent", u"-tooltimeout", u"5"}, 0, 1460, 1, true, false},
        {"uninstall_drops_the_tool", true, none, {u"-silent", u"-uninstall"}, 0, 0, 0, false, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        FreshKit(k);
        k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi");
        k.files.AddFile(u"C:\\Kit", u"R1.cer", "R1");
        k.certificates.blobs = {{"R1", {"R1"}}};
        Ended(k, u"qv_x64_kc2_rus.msi", c.committed);
        c.arrange(k);
        std::vector<std::u16string> args = c.args;
        args.push_back(u"-whatif");
        k.ui.output = "";
        EXPECT_EQ(k.RunWith(args), c.whatif);
        EXPECT_TRUE(k.Started().empty());
        EXPECT_TRUE(k.registry.HasKey(kJournal));
        EXPECT_EQ(k.RunWith(c.args), c.exit);
        // The journal's line says which, and why; the plan's log came first.
        std::u16string log = kDefaultLog;
        const char* why = c.exit == 1618 ? ": msiexec runs"
                          : c.committed  ? ": committed; now: its steps first"
                                         : ": not committed, another PackageCode; now: its source";
        EXPECT_NE(k.files.Log(log.insert(log.size() - 4, u"_1")).find(why), std::string::npos);
        EXPECT_EQ(k.installer.products[kNewCode].sources->packageName,
                  WideString(c.committed ? u"qv_x64_kc2_rus.msi" : u"qv_x64_kc1_eng.msi"));
        std::vector<std::string> started = k.Started();
        EXPECT_EQ(static_cast<size_t>(std::count(started.begin(), started.end(), kTool)), c.tools);
        EXPECT_EQ(k.registry.HasKey(kJournal), c.recordAfter);
        EXPECT_EQ(k.registry.HasKey(kMarker), c.markerAfter);
        EXPECT_EQ(k.certificates.root.size(), std::string(c.name) == "with_certificates" ? 1u : 0u);
    }
}

// Each machine state runs once for real and once as a plan, on a copy: where msiexec and the
// tool succeed the plan's exit code is the run's, and the plan changes nothing.
TEST(Run, PlanAgreesWithTheRun) {
    const auto marker = [](Kit& k) { FreshKit(k), k.registry.AddKey(kMarker); };
    const auto ended = [](bool committed) {
        return [committed](Kit& k) {
            FreshKit(k), k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi");
            Ended(k, u"qv_x64_kc2_rus.msi", committed);
        };
    };
    const struct {
        const char* name;
        std::function<void(Kit&)> arrange;
        std::vector<std::u16string> args;
        int exit;
    } cases[] = {
        {"fresh", FreshKit, {u"-silent", u"-root"}, 0},
        {"same_version",
         [](Kit& k) { k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
         {u"-silent"},
         3},
        {"update", UpgradeKit, {u"-silent"}, 0},
        // Where nobody sees a window: -silent would downgrade.
        {"newer_installed",
         [](Kit& k) {
             k.Install(kOldCode, u"5.0.11", u"qv_x64_kc3_eng.msi"), FreshKit(k);
             k.system.stationVisible = false;
         },
         {},
         4},
        {"uninstall", UpgradeKit, {u"-silent", u"-uninstall"}, 0},
        {"marker_due_noreboot", marker, {u"-silent", u"-noreboot"}, 3010},
        {"marker_due_restarts", marker, {u"-silent"}, 1641},
        // Undone: the source list back on kc1, the same version; done forward: the tool.
        {"journal_before_commit", ended(false), {u"-silent", u"-kc", u"kc1"}, 3},
        {"journal_after_commit", ended(true), {u"-silent", u"-kc", u"kc2"}, 0},
        // The installer's upgrade ignores the fourth field: both would stay registered.
        {"two_products",
         [](Kit& k) {
             k.Install(kOldCode, u"5.0.9.4", u"qv_x64_kc3_eng.msi"), k.upgradeRemovesOld = false;
             k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode, u"5.0.9.5");
         },
         {u"-silent", u"-kc", u"kc1"},
         1638},
        {"command_line_too_long",
         FreshKit,
         {u"-silent", u"-args", std::u16string(32800, u'x')},
         206},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit run, plan;
        c.arrange(run), c.arrange(plan);
        std::vector<std::u16string> args = c.args;
        EXPECT_EQ(run.RunWith(args), c.exit);
        const std::set<std::u16string> keys = plan.registry.keys;
        args.push_back(u"-whatif");
        EXPECT_EQ(plan.RunWith(args), c.exit);
        EXPECT_EQ(plan.registry.keys, keys);
        for (const std::string& call : plan.installer.calls) EXPECT_EQ(call.rfind("Read", 0), 0u);
        EXPECT_TRUE(plan.Started().empty());
    }
}

// The plan goes to standard output where there is one, else to a box; either way nothing is
// installed, patched, trusted, locked or restarted.
TEST(Run, WhatIfReportsAndChangesNothing) {
    for (bool output : {true, false}) {
        SCOPED_TRACE(output ? "standard output" : "box");
        Kit k;
        UpgradeKit(k);
        for (const char* id : {"R0", "R1", "I1", "E1"}) {
            k.files.AddFile(u"C:\\Kit", FromUtf8(id).str() + u".cer", id);
            k.certificates.blobs[id] = {id};
        }
        k.certificates.root = {"R0"};
        if (output) k.ui.output = "";
        EXPECT_EQ(k.RunWith({u"-whatif", u"-root", u"-kc", u"kc1"}), 0);
        std::string report = output ? *k.ui.output : k.BoxTexts().at(0);
        for (const char* line :
             {"warning: the chosen level or language", "would show: m124",
              "msiexec: \"C:\\windows\\system32\\msiexec.exe\" /i \"C:\\Kit\\qv_x64_kc1_eng.msi\"",
              "sequence patch: the cached package of {AAAAAAAA",
              "warning: certificate E1 of E1.cer not added: end-entity",
              "would add certificate I1 of I1.cer to CA",
              "would add certificate R1 of R1.cer to Root",
              "tool: \"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init",
              "restart: one that msiexec or the tool asks for is not carried out: left to "
              "whoever started setup.exe",
              "exit code 0: success"})
            EXPECT_NE(report.find(line), std::string::npos) << line << "\nin\n" << report;
        EXPECT_EQ(report.find("certificate R0"), std::string::npos);  // there already
        EXPECT_EQ(k.BoxTexts().size(), output ? 0u : 1u);
        EXPECT_TRUE(k.Started().empty());
        EXPECT_EQ(k.installer.calls.size(), 1u);  // the platform package read, nothing written
        EXPECT_EQ(k.certificates.root, std::vector<std::string>{"R0"});
        EXPECT_TRUE(k.certificates.ca.empty());
        EXPECT_EQ(k.processes.heldLocks, 0);
    }
}

// The bytes read before anything is decided are the bytes added, whatever the file holds later.
TEST(Run, ImportsCertificatesOnlyWithRootAsFirstRead) {
    for (bool root : {false, true}) {
        SCOPED_TRACE(root ? "-root" : "no -root");
        Kit k;
        FreshKit(k);
        k.files.AddFile(u"C:\\Kit", u"b.cer", "R1");
        k.certificates.blobs = {{"R1", {"R1"}}, {"R2", {"R2"}}};
        k.processes.onExit = [&k](const WideString& line, uint32_t code) {
            k.Msiexec(line, code);
            k.files.contents[fakes::Fold(u"C:\\Kit\\b.cer")] = "R2";
        };
        std::vector<std::u16string> args{u"-silent"};
        if (root) args.push_back(u"-root");
        EXPECT_EQ(k.RunWith(args), 0);
        EXPECT_EQ(k.certificates.root,
                  root ? std::vector<std::string>{"R1"} : std::vector<std::string>{});
        EXPECT_EQ(k.Started().size(), 2u);
    }
}

TEST(ExitCodes, PassedThroughNeverReadAsOwnCodes) {
    const uint32_t kCodes[][2] = {
        {1, 1619}, {2, 2},       {3, 1619},    {4, 1619},    {5, 5},
        {7, 1619}, {1603, 1603}, {1619, 1619}, {3010, 3010}, {0x8007000E, 0x8007000E}};
    for (const auto& c : kCodes) EXPECT_EQ(ExitCodeFor(c[0]), c[1]) << c[0];
}

// The log names each code's meaning: setup.exe's own, the installer's it passes through, and
// for any other code the failing step.
TEST(ExitCodes, MeaningsForOwnPassedAndOtherCodes) {
    const std::string kOther = "the failing step's own code";
    for (ExitCode code : kExitCodes) EXPECT_NE(ExitCodeMeaning(code), kOther) << code;
    for (uint32_t code : {2u, 1603u, 1610u}) EXPECT_NE(ExitCodeMeaning(code), kOther) << code;
    for (uint32_t code : {5u, 1612u, 0x80004005u}) EXPECT_EQ(ExitCodeMeaning(code), kOther) << code;
}

}  // namespace
}  // namespace qv::testing
