#include <gtest/gtest.h>

#include <functional>

#include "Kit.h"
#include "driver/InstallOptions.h"
#include "reboot/RebootMarker.h"

namespace qv::testing {
namespace {

using fakes::ProcessOutcome;
constexpr int kYes = 6, kNo = 7;

std::string Install(const std::string& package, const std::string& tail = "") {
    return kMsiexec + "\"C:\\Kit\\" + package + "\" " + tail + " REBOOT=R";
}
const std::string kTool = "\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init";
const std::string kUsage = ToUtf8(UsageText());

struct RunCase {
    const char* name;
    std::function<void(Kit&)> arrange;
    std::vector<std::u16string> args;
    int exit;
    std::vector<std::string> boxes;
    std::vector<std::string> started;
    bool markerAfter = false;
    size_t restarts = 0;
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

// A ProductCode per level and language, over the installed KC2 Russian one of the same version:
// the platform package (KC1 English) is not the package installed.
const std::u16string kKc2RusCode = u"{CCCCCCCC-0000-0000-0000-000000000003}";
void CodePerLevelKit(Kit& k) {
    k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode);
    k.AddPackage(u"qv_x64_kc2_rus.msi", kKc2RusCode);
    k.Install(kKc2RusCode, u"5.0.10", u"qv_x64_kc2_rus.msi");
}

// Files and a folder named after the package that the directory search returns before it.
void LookAlikesFirst(Kit& k) {
    for (const char16_t* name : {u"qv_x64_kc1_eng-custom.mst", u"qv_x64_kc1_eng.cab",
                                 u"qv_x64_kc1_eng.msi.bak", u"qv_x64_kc1_eng.txt"})
        k.files.Add(u"C:\\Kit", name);
    k.files.Add(u"C:\\Kit", u"qv_x64_kc1_eng.msi", true);
    k.files.Add(u"C:\\Kit\\qv_x64_kc1_eng.msi", u"qv_x64_kc1_eng_.msi");
    FreshKit(k);
}

// Another product's package sorts first; the product is installed at the kit's version.
void PrerequisiteFirst(Kit& k) {
    k.AddPackage(u"aaa_prereq.msi", kOldCode, u"1.0").properties[u"UpgradeCode"] = u"{prereq}";
    k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi");
    FreshKit(k);
}

const char16_t kLock[] = u"Global\\QuorvaneCspSetup";

// clang-format off
const RunCase kRunCases[] = {
    {"not_admin", [](Kit& k) { FreshKit(k), k.system.admin = false; }, {}, 1, {"m101"}, {}},
    {"not_admin_silent", [](Kit& k) { FreshKit(k), k.system.admin = false; }, {u"-silent"}, 1,
     {}, {}},
    {"no_package", [](Kit&) {}, {u"-noreboot"}, 2, {"m122"}, {}},
    {"no_package_for_platform", [](Kit& k) { k.AddPackage(u"qv_win32_kc1_eng.msi", kNewCode); },
     {u"-silent"}, 2, {}, {}},
    {"package_without_product_code",
     [](Kit& k) { FreshKit(k), k.installer.packages[u"C:\\Kit\\qv_x64_kc1_eng.msi"]
                                   .properties.erase(u"ProductCode"); },
     {u"-kc", u"kc1"}, 1620, {"m122"}, {}},
    {"fresh_level_and_language", FreshKit, {u"-silent", u"-kc", u"kc2", u"-lang", u"rus"}, 0,
     {}, {Install("qv_x64_kc2_rus.msi"), kTool}},
    {"fresh_language_fallback", FreshKit, {u"-kc", u"kc3", u"-lang", u"rus"}, 0, {},
     {Install("qv_x64_kc2_rus.msi"), kTool}},
    {"fresh_platform_fallback", FreshKit, {u"-lang", u"deu"}, 0, {},
     {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"fresh_language_follows_system",
     [](Kit& k) { FreshKit(k), k.system.systemUiLanguage = 1049; }, {u"-silent"}, 0, {},
     {Install("qv_x64_kc2_rus.msi"), kTool}},
    {"fresh_32_bit",
     [](Kit& k) {
         k.system.wow64 = false;
         k.AddPackage(u"qv_x64_kc1_eng.msi", kOldCode);
         k.AddPackage(u"qv_win32_kc1_eng.msi", kNewCode);
         k.ToolInstalledFor(kNewCode);
     },
     {u"-silent"}, 0, {}, {Install("qv_win32_kc1_eng.msi"), kTool}},
    {"args_in_order", FreshKit, {u"-args", u"A=\"1 2\"", u"-kc", u"kc1", u"/args", u"B=3"}, 0, {},
     {Install("qv_x64_kc1_eng.msi", "A=\"1 2\" B=3 "), kTool}},
    {"same_version_silent_ends_with_3",
     [](Kit& k) { k.Install(kOldCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
     {u"-silent"}, 3, {}, {}},
    {"same_version_declined_adds_qf",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k);
         k.ui.answers = {kNo};
     },
     {u"-noreboot"}, 0, {"m102 Quorvane CSP"}, {Install("qv_x64_kc3_eng.msi", "/qf "), kTool}},
    {"same_version_accepted_same_code_reinstalls",
     [](Kit& k) {
         k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k);
         k.ui.answers = {kYes};
     },
     {u"-noreboot"}, 0, {"m102 Quorvane CSP"},
     {Install("qv_x64_kc3_eng.msi", "REINSTALL=ALL REINSTALLMODE=vemus "), kTool}},
    {"reinstall_switch_asks_nothing",
     [](Kit& k) { k.Install(kNewCode, u"5.0.10", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
     {u"-reinstall"}, 0, {}, {Install("qv_x64_kc3_eng.msi", "REINSTALL=ALL REINSTALLMODE=vemus "),
                              kTool}},
    {"newer_installed_refused",
     [](Kit& k) { k.Install(kOldCode, u"5.0.11", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
     {u"-reinstall"}, 4, {"m103 Quorvane CSP"}, {}},
    {"newer_installed_silent_goes_on",
     [](Kit& k) { k.Install(kOldCode, u"5.0.11", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
     {u"-silent"}, 0, {}, {Install("qv_x64_kc3_eng.msi"), kTool}},
    {"upgrade_keeps_installed_level_and_language", UpgradeKit, {u"-noreboot"}, 0, {},
     {Install("qv_x64_kc3_eng.msi"), kTool}},
    {"upgrade_numeric_version_order",
     [](Kit& k) { k.Install(kOldCode, u"5.0.9", u"qv_x64_kc3_eng.msi"), FreshKit(k); },
     {u"-silent"}, 0, {}, {Install("qv_x64_kc3_eng.msi"), kTool}},
    {"upgrade_other_level_warns", UpgradeKit, {u"-kc", u"kc1"}, 0, {"m124"},
     {Install("qv_x64_kc1_eng.msi"), kTool}},
    // The installed English fills the language, and no KC2 English package falls back.
    {"upgrade_other_level_silent_no_warning", UpgradeKit, {u"-silent", u"-kc", u"kc2"}, 0, {},
     {Install("qv_x64_kc1_eng.msi"), kTool}},
    // The installer's code, not 1, which says "not an administrator".
    {"installed_version_unreadable",
     [](Kit& k) { UpgradeKit(k), k.installer.faults.FailNext("GetProductInfo", 1605); },
     {u"-kc", u"kc1"}, 1605, {"m107"}, {}},
    {"look_alikes_are_no_packages", LookAlikesFirst, {u"-silent", u"-kc", u"kc1", u"-lang", u"eng"},
     0, {}, {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"prerequisite_first_decides_nothing", PrerequisiteFirst, {u"-silent"}, 3, {}, {}},
    {"code_per_level_reinstalls_the_installed_package", CodePerLevelKit,
     {u"-silent", u"-reinstall"}, 0, {},
     {Install("qv_x64_kc2_rus.msi", "REINSTALL=ALL REINSTALLMODE=vemus "), kTool}},
    {"another_setup_running", [](Kit& k) { FreshKit(k), k.processes.heldElsewhere[kLock] = 183; },
     {}, 1618, {"m126"}, {}},
    {"another_setup_running_unopenable",
     [](Kit& k) { FreshKit(k), k.processes.heldElsewhere[kLock] = 5; }, {u"-silent"}, 1618, {},
     {}},
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
     {u"-silent"}, 0, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, false, 1},
    {"installer_failure_passes_through",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(1603)}; },
     {u"-root"}, 1603, {}, {Install("qv_x64_kc1_eng.msi")}},
    {"installer_restart_kept_with_noreboot",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(3010)}; },
     {u"-silent", u"-noreboot"}, 0, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, true},
    {"tool_restart_declined",
     [](Kit& k) {
         FreshKit(k);
         k.processes.script = {ProcessOutcome::Exit(0), ProcessOutcome::Exit(3010)};
         k.ui.answers = {kNo};
     },
     {u"-kc", u"kc1"}, 0, {"m121"}, {Install("qv_x64_kc1_eng.msi"), kTool}},
    {"earlier_marker_restarts_silently",
     [](Kit& k) { FreshKit(k), k.registry.AddKey(u"Software\\NeedBstrReboot"); }, {u"-silent"},
     0, {}, {Install("qv_x64_kc1_eng.msi"), kTool}, false, 1},
    {"restart_refused",
     [](Kit& k) {
         FreshKit(k), k.registry.AddKey(u"Software\\NeedBstrReboot");
         k.system.token = fakes::TokenScript::kNotAllAssigned;
     },
     {u"-kc", u"kc1"}, 7, {"m121", "m125"}, {Install("qv_x64_kc1_eng.msi"), kTool}, true},
    // Failures passed through must not read as setup.exe's own codes 1, 3, 4 or 7.
    {"mapped_drive_unseen_is_no_success",
     [](Kit& k) { FreshKit(k), k.files.modulePath = u"Z:\\kit\\setup.exe"; }, {u"-silent"},
     1619, {}, {}},
    {"installer_code_1_is_no_admin_refusal",
     [](Kit& k) { FreshKit(k), k.processes.script = {ProcessOutcome::Exit(1)}; }, {u"-silent"},
     1619, {}, {Install("qv_x64_kc1_eng.msi")}},
    // Nothing confirmed, nothing installed.
    {"dialog_not_shown", [](Kit& k) { FreshKit(k), k.ui.dialogError = 1400; }, {}, 1400, {}, {}},
    {"help", FreshKit, {u"-help", u"-silent"}, 0, {kUsage}, {}},
    {"unknown_argument", FreshKit, {u"-silent", u"-bogus"}, 1639, {}, {}},
    {"missing_value", FreshKit, {u"-kc"}, 1639, {kUsage}, {}},
    {"dialog_install_at_once", [](Kit& k) { FreshKit(k), k.ui.clicks = {118}; }, {}, 0, {},
     {Install("qv_x64_kc1_eng.msi", "/qb "), kTool}},
    {"dialog_settings_next",
     [](Kit& k) { FreshKit(k), k.ui.clicks = {1015, 1010, 118}; }, {}, 0, {},
     {Install("qv_x64_kc3_eng.msi"), kTool}},
    {"dialog_cancelled", [](Kit& k) { FreshKit(k), k.ui.clicks = {2}; }, {}, 0, {}, {}},
    {"no_dialog_without_kc1_package",
     [](Kit& k) {
         k.AddPackage(u"qv_x64_rus.msi", kNewCode), k.ToolInstalledFor(kNewCode);
         k.system.systemUiLanguage = 1049;
     },
     {}, 0, {}, {Install("qv_x64_rus.msi"), kTool}},
    {"upgrade_dialog_preset_to_installed",
     [](Kit& k) { UpgradeKit(k), k.ui.clicks = {118}; }, {}, 0, {},
     {Install("qv_x64_kc3_eng.msi", "/qb "), kTool}},
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
    EXPECT_EQ(k.registry.HasKey(u"Software\\NeedBstrReboot"), c.markerAfter);
    EXPECT_EQ(k.system.exitWindowsRequests.size(), c.restarts);
    EXPECT_EQ(k.Leaks(), "");
}

INSTANTIATE_TEST_SUITE_P(Run, RunTest, ::testing::ValuesIn(kRunCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Run, PatchesTheInstalledPackageBeforeTheInstaller) {
    Kit k;
    UpgradeKit(k);
    EXPECT_EQ(k.RunWith({u"-silent"}), 0);
    const auto& rows =
        k.installer.databases[u"C:\\windows\\Installer\\1a2b.msi"].installExecuteSequence;
    EXPECT_EQ(rows[0].condition, u"Not UPGRADINGPRODUCTCODE");
    EXPECT_EQ(rows[1].condition, u"Not UPGRADINGPRODUCTCODE");
    EXPECT_EQ(rows[2].condition, u"1");
    EXPECT_EQ(k.installer.uiLevel, 2);
}

TEST(Run, PointsTheSourceListOfTheInstalledPackage) {
    Kit k;
    UpgradeKit(k);
    k.Install(kNewCode, u"5.0.1", u"old.msi");  // the new code already registered
    k.RunWith({u"-silent", u"-kc", u"kc2", u"-lang", u"rus", u"-reinstall"});
    EXPECT_EQ(k.installer.FindProduct(kNewCode.c_str())->sourceList[u"PackageName"],
              u"qv_x64_kc2_rus.msi");
    EXPECT_TRUE(k.installer.FindProduct(kNewCode.c_str())->sourcesCleared);

    Kit perLevel;
    CodePerLevelKit(perLevel);
    perLevel.RunWith({u"-silent", u"-reinstall"});
    EXPECT_TRUE(perLevel.installer.FindProduct(kKc2RusCode.c_str())->sourcesCleared);
    EXPECT_EQ(perLevel.installer.log.Count("SourceListClearAll " + ToUtf8(WideString(kNewCode))),
              0u);
}

TEST(Run, ImportsCertificatesOnlyWithRoot) {
    for (bool root : {false, true}) {
        SCOPED_TRACE(root ? "-root" : "no -root");
        Kit k;
        FreshKit(k);
        k.files.Add(u"C:\\Kit", u"b.cer");
        k.certificates.AddFile(u"C:\\Kit\\b.cer", {"B"});
        std::vector<std::u16string> args{u"-silent"};
        if (root) args.push_back(u"-root");
        EXPECT_EQ(k.RunWith(args), 0);
        EXPECT_EQ(k.certificates.root,
                  root ? std::vector<std::string>{"B"} : std::vector<std::string>{});
        EXPECT_EQ(k.Started().size(), 2u);
    }
}

TEST(ExitCodes, PassedThroughNeverReadAsOwnCodes) {
    const uint32_t kCodes[][2] = {
        {1, 1619}, {2, 2},       {3, 1619},    {4, 1619},    {5, 5},
        {7, 1619}, {1603, 1603}, {1619, 1619}, {3010, 3010}, {0x8007000E, 0x8007000E}};
    for (const auto& c : kCodes) EXPECT_EQ(PassThrough(c[0]), c[1]) << c[0];
}

// The log names each code's meaning: setup.exe's own, the installer's it passes through, and
// for any other code the failing step.
TEST(ExitCodes, MeaningsForOwnPassedAndOtherCodes) {
    const std::u16string kOther = u"the failing step's own code";
    for (ExitCode code : kExitCodes) EXPECT_NE(ExitCodeMeaning(code), kOther) << code;
    for (uint32_t code : {2u, 1602u, 1603u}) EXPECT_NE(ExitCodeMeaning(code), kOther) << code;
    for (uint32_t code : {5u, 1605u, 0x80004005u}) EXPECT_EQ(ExitCodeMeaning(code), kOther) << code;
}

}  // namespace
}  // namespace qv::testing
