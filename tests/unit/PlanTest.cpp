// Decisions as table rows: facts, options and answers in, a plan, a question or a fact to read
// out. Nothing runs.
#include <gtest/gtest.h>

#include <functional>

#include "Kit.h"
#include "decide/Decide.h"
#include "driver/ParseOptions.h"
#include "model/Choices.h"

namespace qv::testing {
namespace {

const std::u16string kKc2RusCode = u"{CCCCCCCC-0000-0000-0000-000000000003}";

// Three x64 packages of one product, the new one not installed.
Facts FreshFacts() {
    Facts facts;
    facts.architecture = Architecture::kX64;
    facts.systemDirectory = u"C:\\windows\\system32";
    facts.kit.folder = u"C:\\Kit\\";
    for (const char16_t* name :
         {u"qv_x64_kc1_eng.msi", u"qv_x64_kc2_rus.msi", u"qv_x64_kc3_eng.msi"})
        facts.kit.packages.emplace_back(name);
    facts.platformPackage = Identity(u"qv_x64_kc1_eng.msi", kNewCode);
    return facts;
}

// The product installed at `version`, detected as `selection`, under another code.
std::function<void(Facts&)> Installed(const char16_t* version, Selection selection,
                                      const std::u16string& code = kOldCode,
                                      StepResult detection = {}) {
    return [=](Facts& facts) {
        facts.installed.code = WideString(code);
        facts.installed.version = version;
        facts.installedSelection = InstalledSelection{selection, detection};
    };
}

constexpr Selection kKc3Eng{Level::kKc3, Language::kEnglish};

DialogAnswer Confirmed(Level level, Language language, bool quick) {
    DialogAnswer answer;
    answer.outcome = DialogOutcome::kConfirmed;
    answer.choice = {level, language};
    answer.quickInstall = quick;
    return answer;
}

// "ask notice 124", "read log", "stop 4 m103", "update qv_x64_kc3_eng.msi /qb ": the kind of
// change, the package and the words between it and REBOOT=R; then what -whatif names unasked.
std::string Describe(const Decision& d) {
    static const char* const kQuestions[] = {"notice", "reinstall", "settings", "remove"};
    static const char* const kChanges[] = {"stop",        "fresh",  "update", "reinstall",
                                           "maintenance", "remove", "repair"};
    switch (d.kind) {
        case Decision::Kind::kAsk:
            if (d.question.kind == Question::Kind::kSettings)
                return "ask settings " + ToUtf8(WideString(TokenOf(d.question.preset.level))) +
                       "/" + ToUtf8(WideString(TokenOf(d.question.preset.language)));
            return std::string("ask ") + kQuestions[static_cast<int>(d.question.kind)] + " " +
                   std::to_string(d.question.message);
        case Decision::Kind::kRead:
            return "read" + (d.request.package.empty() ? "" : " " + ToUtf8(d.request.package)) +
                   (d.request.sealedPackage.empty() ? "" : " sealed") +
                   (d.request.installerLog ? " log" : "") + (d.request.toolFolder ? " tool" : "");
        case Decision::Kind::kPlan:
            break;
    }
    const Plan& plan = d.plan;
    std::string unasked;
    for (int m = kMsgNotAdmin; m <= kMsgLast; ++m)
        if (plan.unasked & NoticeBit(static_cast<MessageId>(m)))
            unasked += "; unasked " + std::to_string(m);
    if (const Remove* removal = plan.Find<Remove>()) {  // "remove {A} {B}: <words of the first>"
        std::string out = "remove";
        for (const WideString& code : removal->products) out += " " + ToUtf8(code);
        std::string first = ToUtf8(removal->commandLines[0]);
        size_t words = first.find("} ") + 2;
        return out + ": " + first.substr(words, first.size() - words - 9) + unasked;
    }
    if (plan.change == Change::kNone) {  // "fail": the step's own code, which the driver maps
        std::string out = (plan.failed ? "fail " : "stop ") + ToUtf8(CodeText(plan.exitCode));
        if (plan.message != kNoMessage) out += " m" + std::to_string(plan.message);
        return out + unasked;
    }
    const InstallPackage& install = *plan.Find<InstallPackage>();
    std::string command = ToUtf8(install.commandLine);
    std::string head = kMsiexec + "\"" + ToUtf8(install.package.path) + "\" ";
    EXPECT_EQ(command.rfind(head, 0), 0u) << command;
    EXPECT_EQ(command.substr(command.size() - 9), " REBOOT=R") << command;
    return std::string(kChanges[static_cast<int>(plan.change)]) + " " +
           ToUtf8(install.package.path.FileName()) + " " +
           command.substr(head.size(), command.size() - head.size() - 9) + unasked;
}

struct PlanCase {
    const char* name;
    std::function<void(Facts&)> facts;
    std::vector<std::u16string> args;  // none: setup.exe started without arguments
    std::function<void(Answers&)> answers;
    std::string decision;
    // The facts that follow the decision, when it asks: the package read as itself under
    // kNewCode unless this says otherwise. False: the request is the outcome.
    std::function<bool(LateFacts&)> late = nullptr;
};

void PrintTo(const PlanCase& c, std::ostream* os) {
    *os << c.name;
}

auto None = [](auto&) {};
bool Unread(LateFacts&) {
    return false;
}
void Unseen(Facts& f) {
    f.stationVisible = false;
}

// clang-format off
const PlanCase kPlanCases[] = {
    // The kit.
    {"no_package_for_platform", [](Facts& f) { f.platformPackage = {}; f.platformStatus = 2; },
     {u"-silent"}, None, "fail 2 m122"},
    {"package_names_no_product", [](Facts& f) { f.platformStatus = 1620; }, {u"-kc", u"kc1"},
     None, "fail 1620 m122"},
    {"mapped_drive_unseen_is_passed_as_failure", [](Facts& f) { f.platformPackage = {}; f.platformStatus = 3; },
     {u"-silent"}, None, "fail 3 m122"},
    // Fresh installations.
    {"fresh_level_and_language", None, {u"-silent", u"-kc", u"kc2", u"-lang", u"rus"}, None,
     "fresh qv_x64_kc2_rus.msi "},
    {"fresh_values_without_case", None, {u"-kc", u"KC2", u"-lang", u"RUS"}, None,
     "fresh qv_x64_kc2_rus.msi "},
    // A level chosen is a security class: its language may fall back, the level never.
    {"level_kept_language_falls_back", None, {u"-kc", u"kc3", u"-lang", u"rus"}, None,
     "fresh qv_x64_kc3_eng.msi "},
    {"level_not_in_kit", [](Facts& f) { f.kit.packages.pop_back(); },
     {u"-silent", u"-kc", u"kc3", u"-lang", u"rus"}, None, "fail 2 m127"},
    {"dialog_level_not_in_kit", [](Facts& f) { f.kit.packages.pop_back(); }, {},
     [](Answers& a) { a.settings = Confirmed(Level::kKc3, Language::kEnglish, false); },
     "fail 2 m127"},
    {"kept_level_not_in_kit", [](Facts& f) { Installed(u"5.0.9", kKc3Eng)(f); f.kit.packages.pop_back(); },
     {u"-silent"}, None, "fail 2 m127"},
    {"kit_without_levels_falls_back",
     [](Facts& f) {
         f.kit.packages = {WideString(u"qv_x64_rus.msi")};
         f.platformPackage = Identity(u"qv_x64_rus.msi", kNewCode);
     },
     {u"-silent", u"-kc", u"kc2", u"-lang", u"eng"}, None, "fresh qv_x64_rus.msi "},
    {"language_follows_system", [](Facts& f) { f.systemLanguage = Language::kRussian; },
     {u"-silent"}, None, "fresh qv_x64_kc2_rus.msi "},
    {"fresh_32_bit",
     [](Facts& f) {
         f.architecture = Architecture::kWin32;
         f.kit.packages = {WideString(u"qv_win32_kc1_eng.msi"), WideString(u"qv_x64_kc1_eng.msi")};
         f.platformPackage = Identity(u"qv_win32_kc1_eng.msi", kNewCode);
     },
     {u"-silent"}, None, "fresh qv_win32_kc1_eng.msi "},
    {"args_in_order", None, {u"-args", u"A=\"1 2\"", u"-kc", u"kc1", u"/args", u"B=3"}, None,
     "fresh qv_x64_kc1_eng.msi A=\"1 2\" B=3 "},
    // msiexec's log beside the setup log: first whether it can be written, then in its words.
    {"msiexec_log_checked_first", [](Facts& f) { f.setupLog = u"C:\\l\\s.log"; },
     {u"-log", u"C:\\l\\s.log", u"-args", u"/qn"}, None, "read log", Unread},
    {"msiexec_log_beside_setup_log", [](Facts& f) { f.setupLog = u"C:\\l\\s.log"; },
     {u"-log", u"C:\\l\\s.log", u"-args", u"/qn"}, None,
     "fresh qv_x64_kc1_eng.msi /l*v \"C:\\l\\s.log.msiexec.log\" /qn ",
     [](LateFacts& l) { l.msiexecLog = u"C:\\l\\s.log.msiexec.log"; return true; }},
    {"msiexec_log_that_cannot_be_written", [](Facts& f) { f.setupLog = u"C:\\l\\s.log"; },
     {u"-log", u"C:\\l\\s.log", u"-args", u"/qn"}, None, "fresh qv_x64_kc1_eng.msi /qn "},
    // What follows the decision is read in one step: another package than the platform's, the
    // sealed files, msiexec's log, and for -whatif the tool's folder.
    {"late_facts_read_at_once", [](Facts& f) { f.seal.sealed = true; f.setupLog = u"C:\\s.log"; },
     {u"-whatif", u"-silent", u"-kc", u"kc2", u"-log", u"C:\\s.log"}, None,
     "read C:\\Kit\\qv_x64_kc2_rus.msi sealed log tool", Unread},
    // A file found not as sealed after deciding stops the run, with its own decision line.
    {"sealed_cabinet_changed", [](Facts& f) { f.seal.sealed = true; }, {u"-silent"}, None,
     "stop 0x80091007 m134", [](LateFacts& l) { l.sealBroken = u"a.cab"; return true; }},
    // The version decision.
    {"same_version_silent", Installed(u"5.0.10", kKc3Eng), {u"-silent"}, None, "stop 3"},
    {"same_version_asks", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-noreboot"}, None,
     "ask reinstall 102"},
    {"same_version_declined_adds_qf", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-noreboot"},
     [](Answers& a) { a.reinstall = false; }, "maintenance qv_x64_kc3_eng.msi /qf "},
    {"same_version_accepted_same_code", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-noreboot"},
     [](Answers& a) { a.reinstall = true; },
     "reinstall qv_x64_kc3_eng.msi REINSTALL=ALL REINSTALLMODE=vemus "},
    {"reinstall_switch_asks_nothing", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-reinstall"},
     None, "reinstall qv_x64_kc3_eng.msi REINSTALL=ALL REINSTALLMODE=vemus "},
    {"newer_installed_refused", Installed(u"5.0.11", kKc3Eng), {u"-reinstall"}, None,
     "stop 4 m103"},
    {"newer_installed_silent_goes_on", Installed(u"5.0.11", kKc3Eng), {u"-silent"}, None,
     "update qv_x64_kc3_eng.msi "},
    {"version_order_is_numeric", Installed(u"5.0.9", kKc3Eng), {u"-silent"}, None,
     "update qv_x64_kc3_eng.msi "},
    {"installed_version_unreadable",
     [](Facts& f) { Installed(u"", kKc3Eng)(f); f.installed.versionRead = {1605, kMsgNoInstalledVersionSize}; },
     {u"-silent"}, None, "fail 1605 m107"},
    // Level and language over an installed product.
    {"update_keeps_installed_level_and_language", Installed(u"5.0.9", kKc3Eng), {u"-noreboot"},
     None, "update qv_x64_kc3_eng.msi "},
    {"update_other_level_warns", Installed(u"5.0.9", kKc3Eng), {u"-kc", u"kc1"}, None,
     "ask notice 124"},
    {"update_same_level_in_other_case", Installed(u"5.0.9", kKc3Eng),
     {u"-kc", u"KC3", u"-lang", u"ENG"}, None, "update qv_x64_kc3_eng.msi "},
    {"update_other_level_after_warning", Installed(u"5.0.9", kKc3Eng), {u"-kc", u"kc1"},
     [](Answers& a) { a.noticesShown = NoticeBit(kMsgKcLanguageDiffer); },
     "update qv_x64_kc1_eng.msi "},
    {"update_other_level_silent_no_warning", Installed(u"5.0.9", kKc3Eng),
     {u"-silent", u"-kc", u"kc2"}, None, "update qv_x64_kc2_rus.msi "},
    {"detection_failure_is_told",
     Installed(u"5.0.9", {Level::kKc2, Language::kNone}, kOldCode, {1627, kMsgNoReleaseFlags}),
     {u"-noreboot"}, None, "ask notice 112"},
    {"detection_failure_leads_to_fresh_choices",
     [](Facts& f) {
         Installed(u"5.0.9", {Level::kKc2, Language::kNone}, kOldCode, {1627, kMsgNoReleaseFlags})(f);
         f.systemLanguage = Language::kRussian;
     },
     {u"-noreboot"}, [](Answers& a) { a.noticesShown = NoticeBit(kMsgNoReleaseFlags); },
     "update qv_x64_kc2_rus.msi "},
    // A ProductCode per level and language: the package installed is read for its own code.
    {"code_per_level_reinstalls_its_product",
     [](Facts& f) {
         Installed(u"5.0.10", {Level::kKc2, Language::kRussian}, kKc2RusCode)(f);
     },
     {u"-silent", u"-reinstall"}, None,
     "reinstall qv_x64_kc2_rus.msi REINSTALL=ALL REINSTALLMODE=vemus ",
     [](LateFacts& l) {
         l.package = PackageRead{u"C:\\Kit\\qv_x64_kc2_rus.msi", 0,
                                 Identity(u"qv_x64_kc2_rus.msi", kKc2RusCode)};
         return true;
     }},
    // A level asked for over the same version at another is no "nothing to do".
    {"same_version_other_level", Installed(u"5.0.10", kKc3Eng, kNewCode),
     {u"-silent", u"-kc", u"kc1"}, None, "stop 1638"},
    {"same_version_same_level", Installed(u"5.0.10", kKc3Eng, kNewCode),
     {u"-silent", u"-kc", u"kc3"}, None, "stop 3"},
    // With a ProductCode per level, -reinstall at another level would install a second product.
    {"reinstall_beside_the_same_version", Installed(u"5.0.10", kKc3Eng), {u"-silent", u"-reinstall"},
     None, "stop 1638"},
    {"two_related_products",
     [](Facts& f) { Installed(u"5.0.9", kKc3Eng)(f), f.installed.other = WideString(kKc2RusCode); },
     {u"-silent"}, None, "stop 1638 m128"},
    {"package_to_install_unreadable",
     [](Facts& f) {
         Installed(u"5.0.10", {Level::kKc2, Language::kRussian}, kKc2RusCode)(f);
     },
     {u"-silent", u"-reinstall"}, None, "fail 1627 m122",
     [](LateFacts& l) { l.package = PackageRead{u"C:\\Kit\\qv_x64_kc2_rus.msi", 1627, {}}; return true; }},
    // The settings dialog, only without arguments and only for a kit built per level.
    {"dialog_asked", None, {}, None, "ask settings /"},
    {"dialog_install_at_once", None, {},
     [](Answers& a) { a.settings = Confirmed(Level::kKc1, Language::kEnglish, true); },
     "fresh qv_x64_kc1_eng.msi /qb "},
    {"dialog_settings_next", None, {},
     [](Answers& a) { a.settings = Confirmed(Level::kKc3, Language::kEnglish, false); },
     "fresh qv_x64_kc3_eng.msi "},
    {"dialog_cancelled", None, {},
     [](Answers& a) { a.settings = DialogAnswer{DialogOutcome::kCancelled, {}, false, 0}; },
     "stop 0"},
    {"dialog_not_shown", None, {},
     [](Answers& a) { a.settings = DialogAnswer{DialogOutcome::kFailed, {}, false, 1400}; },
     "fail 1400"},
    {"no_dialog_without_kc1_package",
     [](Facts& f) {
         f.kit.packages = {WideString(u"qv_x64_rus.msi")};
         f.platformPackage = Identity(u"qv_x64_rus.msi", kNewCode);
         f.systemLanguage = Language::kRussian;
     },
     {}, None, "fresh qv_x64_rus.msi "},
    {"update_dialog_preset_to_installed", Installed(u"5.0.9", kKc3Eng), {}, None,
     "ask settings kc3/eng"},
    {"update_dialog_install_at_once", Installed(u"5.0.9", kKc3Eng), {},
     [](Answers& a) { a.settings = Confirmed(Level::kKc3, Language::kEnglish, true); },
     "update qv_x64_kc3_eng.msi /qb "},
    {"no_update_dialog_for_the_same_code", Installed(u"5.0.9", kKc3Eng, kNewCode), {}, None,
     "update qv_x64_kc3_eng.msi REINSTALL=ALL REINSTALLMODE=vemus "},
    // A removal takes every related product, whatever its level and language, and patches none.
    {"uninstall_removes_every_related",
     [](Facts& f) { f.relatedInstalled = {WideString(kOldCode), WideString(kKc2RusCode)}; },
     {u"-silent", u"-uninstall", u"-args", u"/qn"}, None,
     "remove {AAAAAAAA-0000-0000-0000-000000000001} {CCCCCCCC-0000-0000-0000-000000000003}: /qn "},
    {"uninstall_nothing_installed", None, {u"-silent", u"-uninstall"}, None, "stop 1605 m133"},
    {"uninstall_asks", [](Facts& f) { f.relatedInstalled = {WideString(kOldCode)}; },
     {u"-uninstall"}, None, "ask remove 131"},
    {"uninstall_declined", [](Facts& f) { f.relatedInstalled = {WideString(kOldCode)}; },
     {u"-uninstall"}, [](Answers& a) { a.remove = false; }, "stop 1602"},
    {"uninstall_unattended_asks_nobody",
     [](Facts& f) { Unseen(f), f.relatedInstalled = {WideString(kOldCode)}; }, {u"-uninstall"},
     None, "stop 1602"},
    {"uninstall_unattended_silent",
     [](Facts& f) { Unseen(f), f.relatedInstalled = {WideString(kOldCode)}; },
     {u"-uninstall", u"-silent", u"-log", u"C:\\l.log"}, [](Answers& a) { a.remove = false; },
     "remove {AAAAAAAA-0000-0000-0000-000000000001}: /qn "},
    // A repair: the installed product's own version, level and language, or nothing changes.
    {"repair", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-silent", u"-repair"}, None,
     "repair qv_x64_kc3_eng.msi REINSTALL=ALL REINSTALLMODE=omus "},
    {"repair_nothing_installed", None, {u"-silent", u"-repair"}, None, "stop 1605 m133"},
    {"repair_kit_without_the_level", Installed(u"5.0.10", {Level::kKc2, Language::kEnglish}, kNewCode),
     {u"-silent", u"-repair"}, None, "stop 1638 m127"},
    {"repair_package_of_another_product", Installed(u"5.0.10", kKc3Eng),
     {u"-silent", u"-repair"}, None, "stop 1638 m127"},
    {"repair_asked_for_another_level", Installed(u"5.0.10", kKc3Eng, kNewCode),
     {u"-silent", u"-repair", u"-kc", u"kc1"}, None, "stop 1638"},
    {"repair_level_unknown", Installed(u"5.0.10", {Level::kNone, Language::kEnglish}, kNewCode),
     {u"-silent", u"-repair"}, None, "stop 1638"},
    {"repair_code_per_level",
     Installed(u"5.0.10", {Level::kKc2, Language::kRussian}, kKc2RusCode),
     {u"-repair", u"-kc", u"KC2"}, None,
     "repair qv_x64_kc2_rus.msi REINSTALL=ALL REINSTALLMODE=omus ",
     [](LateFacts& l) {
         l.package = PackageRead{u"C:\\Kit\\qv_x64_kc2_rus.msi", 0,
                                 Identity(u"qv_x64_kc2_rus.msi", kKc2RusCode)};
         return true;
     }},
    {"whatif_repair", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-whatif", u"-repair"}, None,
     "repair qv_x64_kc3_eng.msi /qn REINSTALL=ALL REINSTALLMODE=omus "},
    // Off the visible window station nobody can answer: no dialog, no question, no notice, the
    // answer that changes least, and msiexec's interface hidden: one -args choose that shows a
    // window gives way to /qn, since nobody could answer msiexec's own error box.
    {"unattended_installs_as_silent", Unseen, {}, None, "fresh qv_x64_kc1_eng.msi /qn "},
    {"unattended_same_version_does_nothing",
     [](Facts& f) { Unseen(f), Installed(u"5.0.10", kKc3Eng, kNewCode)(f); }, {u"-noreboot"},
     None, "stop 3"},
    {"unattended_later_version_refused", [](Facts& f) { Unseen(f), Installed(u"5.0.11", kKc3Eng)(f); },
     {}, None, "stop 4 m103"},
    {"unattended_warns_nobody", [](Facts& f) { Unseen(f), Installed(u"5.0.9", kKc3Eng)(f); },
     {u"-kc", u"kc1"}, None, "update qv_x64_kc1_eng.msi /qn "},
    {"unattended_visible_interface_gives_way", Unseen, {u"-args", u"/QB!- PROP=\"a b\""}, None,
     "fresh qv_x64_kc1_eng.msi /qn PROP=\"a b\" "},
    {"unattended_passive_gives_way", Unseen, {u"-silent", u"-args", u"-Passive"}, None,
     "fresh qv_x64_kc1_eng.msi /qn "},
    {"unattended_args_choose_qn", Unseen, {u"-args", u"/l*v x.log -QN"}, None,
     "fresh qv_x64_kc1_eng.msi /l*v x.log -QN "},
    {"unattended_silent_gets_qn_too", Unseen, {u"-silent"}, None, "fresh qv_x64_kc1_eng.msi /qn "},
    // -whatif plans as where nobody answers, and names what a person would be asked.
    {"whatif_same_version", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-whatif"}, None,
     "stop 3; unasked 102"},
    {"whatif_other_level", Installed(u"5.0.9", kKc3Eng), {u"-whatif", u"-kc", u"kc1"}, None,
     "update qv_x64_kc1_eng.msi /qn ; unasked 124"},
    {"whatif_uninstall", [](Facts& f) { f.relatedInstalled = {WideString(kOldCode)}; },
     {u"-whatif", u"-uninstall"}, None, "stop 1602; unasked 131"},
    {"whatif_silent_asks_nobody", Installed(u"5.0.10", kKc3Eng, kNewCode), {u"-whatif", u"-silent"},
     None, "stop 3"},
};
// clang-format on

class PlanTest : public ::testing::TestWithParam<PlanCase> {};

// Decides, and again with the facts that follow the decision when it asks for them.
Decision DecideReading(Facts& facts, const InstallOptions& options, const Answers& answers,
                       const std::function<bool(LateFacts&)>& read = nullptr) {
    fakes::FakeLog log;
    Decision decision = Decide(facts, options, answers, nullptr, log);
    if (decision.kind != Decision::Kind::kRead) return decision;
    LateFacts late;
    const WideString& package = decision.request.package;
    if (!package.empty())
        late.package = PackageRead{package, 0, Identity(package.FileName().str(), kNewCode)};
    if (read && !read(late)) return decision;
    return Decide(facts, options, answers, &late, log);
}

TEST_P(PlanTest, Decides) {
    const PlanCase& c = GetParam();
    Facts facts = FreshFacts();
    c.facts(facts);
    InstallOptions options;
    options.empty = c.args.empty();
    std::vector<WideString> argv{WideString(u"setup.exe")};
    for (const std::u16string& a : c.args) argv.emplace_back(a);
    ASSERT_EQ(ParseArguments(argv, options), ParseOutcome::kParsed);
    Answers answers;
    c.answers(answers);
    EXPECT_EQ(Describe(DecideReading(facts, options, answers, c.late)), c.decision);
}

INSTANTIATE_TEST_SUITE_P(Plan, PlanTest, ::testing::ValuesIn(kPlanCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The plan's steps in order, each with what it carries: "patch {A}|install kc3|check {A} two|
// certificates|tool {B}|restart 2".
std::string Steps(const Plan& plan) {
    struct Namer {
        std::string operator()(const PatchCachedPackage& s) {
            return "patch " + ToUtf8(s.installedCode);
        }
        std::string operator()(const InstallPackage& s) {
            return "install " + ToUtf8(WideString(TokenOf(LevelInName(s.package.path))));
        }
        std::string operator()(const CheckOneProduct& s) {
            return "check " + ToUtf8(s.before) + (s.expectTwo ? " two" : "");
        }
        std::string operator()(const AddCertificates&) { return "certificates"; }
        std::string operator()(const RunTool& s) { return "tool " + ToUtf8(s.productCode); }
        std::string operator()(const Remove& s) {
            return "remove " + std::to_string(s.products.size());
        }
        std::string operator()(const Restart& s) {
            return "restart " + std::to_string(static_cast<int>(s.policy));
        }
    };
    std::string out;
    for (const Step& step : plan.steps) out += (out.empty() ? "" : "|") + std::visit(Namer{}, step);
    return out;
}

// Recovery finished forward: the certificates and the tool still to do.
void Left(Facts& f) {
    f.recovered = {WideString(kNewCode), true, true, false};
}

// The steps a plan lists, and what happens about a restart at the end (0 -noreboot, 1 -silent,
// 2 ask, 3 left to the caller).
TEST(Plan, Steps) {
    const struct {
        std::function<void(Facts&)> facts;
        std::vector<std::u16string> args;
        std::string steps;
    } cases[] = {
        {None,
         {u"-silent"},
         "patch |install kc1|tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 1"},
        {None,
         {u"-silent", u"-noreboot", u"-root"},
         "patch |install kc1|certificates|tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 0"},
        {None,
         {u"-root"},
         "patch |install kc1|certificates|tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 2"},
        {Unseen,
         {u"-root"},
         "patch |install kc1|certificates|tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 3"},
        {Installed(u"5.0.9", kKc3Eng),
         {u"-silent"},
         "patch {AAAAAAAA-0000-0000-0000-000000000001}|install kc3|"
         "check {AAAAAAAA-0000-0000-0000-000000000001}|tool {BBBBBBBB-0000-0000-0000-000000000002}|"
         "restart 1"},
        // A version that differs in the fourth field under another code: the upgrade keeps the
        // old product. The same version reinstalled so stops before any change.
        {Installed(u"5.0.10.1", kKc3Eng),
         {u"-silent"},
         "patch {AAAAAAAA-0000-0000-0000-000000000001}|install kc3|"
         "check {AAAAAAAA-0000-0000-0000-000000000001} two|"
         "tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 1"},
        {Installed(u"5.0.10", kKc3Eng), {u"-silent", u"-reinstall"}, ""},
        // What a run ended from outside left comes first.
        {[](Facts& f) { Installed(u"5.0.9", kKc3Eng, kNewCode)(f), Left(f); },
         {u"-silent", u"-noreboot"},
         "certificates|tool {BBBBBBBB-0000-0000-0000-000000000002}|"
         "patch {BBBBBBBB-0000-0000-0000-000000000002}|install kc3|"
         "tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 0"},
        // The same code: nothing to check.
        {Installed(u"5.0.9", kKc3Eng, kNewCode),
         {u"-noreboot"},
         "patch {BBBBBBBB-0000-0000-0000-000000000002}|install kc3|"
         "tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 0"},
        {[](Facts& f) {
             f.relatedInstalled = {WideString(kOldCode), WideString(kKc2RusCode)};
         },
         {u"-silent", u"-uninstall"},
         "remove 2|restart 1"},
        {None, {u"-silent", u"-uninstall"}, ""},
        // A repair removes nothing: no patch, no check.
        {Installed(u"5.0.10", kKc3Eng, kNewCode),
         {u"-repair", u"-root"},
         "install kc3|certificates|tool {BBBBBBBB-0000-0000-0000-000000000002}|restart 2"},
    };
    for (const auto& c : cases) {
        InstallOptions options;
        options.empty = false;
        std::vector<WideString> argv{WideString(u"setup.exe")};
        for (const std::u16string& a : c.args) argv.emplace_back(a);
        ParseArguments(argv, options);
        Facts facts = FreshFacts();
        c.facts(facts);
        EXPECT_EQ(Steps(DecideReading(facts, options, {}).plan), c.steps);
    }
}

}  // namespace
}  // namespace qv::testing
