#include <gtest/gtest.h>

#include "Kit.h"
#include "ui/SettingsDialog.h"

namespace qv::testing {
namespace {

constexpr Selection kNoPreset{};

TEST(SettingsDialog, ChoicesAndViews) {
    // clang-format off
    const struct {
        const char* name;
        Selection preset;
        Language system;
        std::deque<int> clicks;
        DialogOutcome outcome;
        Selection choice;
        bool quickInstall;
    } cases[] = {
        {"install_at_once_russian_system", kNoPreset, Language::kRussian, {118},
         DialogOutcome::kConfirmed, {Level::kKc1, Language::kRussian}, true},
        {"install_at_once_english_system", kNoPreset, Language::kEnglish, {118},
         DialogOutcome::kConfirmed, {Level::kKc1, Language::kEnglish}, true},
        {"preset_wins_over_system", {Level::kKc2, Language::kEnglish}, Language::kRussian, {118},
         DialogOutcome::kConfirmed, {Level::kKc2, Language::kEnglish}, true},
        {"settings_next", kNoPreset, Language::kEnglish, {1015, 1010, 118},
         DialogOutcome::kConfirmed, {Level::kKc3, Language::kEnglish}, false},
        {"settings_hide_install", kNoPreset, Language::kEnglish, {1015, 1010, 1006, 1015, 118},
         DialogOutcome::kConfirmed, {Level::kKc3, Language::kRussian}, true},
        {"toggle_thrice_then_next", kNoPreset, Language::kEnglish, {1015, 1015, 1015, 1009, 118},
         DialogOutcome::kConfirmed, {Level::kKc2, Language::kEnglish}, false},
        {"cancel", {Level::kKc2, Language::kNone}, Language::kEnglish, {2},
         DialogOutcome::kCancelled, {}, false},
        {"cancel_from_settings", kNoPreset, Language::kEnglish, {1015, 1010, 2},
         DialogOutcome::kCancelled, {}, false},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.ui.clicks = c.clicks;
        DialogAnswer answer = ShowSettingsDialog(k.ui, k.resources, c.preset, c.system);
        EXPECT_EQ(answer.outcome, c.outcome);
        EXPECT_EQ(answer.choice.level, c.choice.level);
        EXPECT_EQ(answer.choice.language, c.choice.language);
        EXPECT_EQ(answer.quickInstall, c.quickInstall);
        ASSERT_TRUE(k.ui.lastDialog);
        EXPECT_NE(k.ui.lastDialog->bigIcon, 0u);
        EXPECT_EQ(k.Leaks(), "");
    }
}

// Visible controls and the two labels in each view.
TEST(SettingsDialog, ToggleSwapsTheViews) {
    Kit k;
    k.ui.clicks = {1015, 1015, 118};
    ShowSettingsDialog(k.ui, k.resources, kNoPreset, Language::kEnglish);
    ASSERT_EQ(k.ui.dialogStates.size(), 4u);  // after init and after each click
    auto visible = [](const std::map<int, fakes::ControlState>& controls) {
        std::vector<int> ids;
        for (const auto& [id, c] : controls)
            if (c.visible) ids.push_back(id);
        return ids;
    };
    const std::vector<int> welcome{2, 118, 1011, 1014, 1015};
    const std::vector<int> settings{2, 118, 1006, 1007, 1008, 1009, 1010, 1012, 1013, 1015};
    EXPECT_EQ(visible(k.ui.dialogStates[0]), welcome);
    EXPECT_EQ(visible(k.ui.dialogStates[1]), settings);
    EXPECT_EQ(k.ui.dialogStates[1].at(1015).text, WideString(u"Hide"));
    EXPECT_EQ(k.ui.dialogStates[1].at(118).text, WideString(u"Next"));
    EXPECT_EQ(visible(k.ui.dialogStates[2]), welcome);
    EXPECT_EQ(k.ui.dialogStates[2].at(1015).text, WideString(u"Settings"));
    EXPECT_EQ(k.ui.dialogStates[2].at(118).text, WideString(u"Install"));
    EXPECT_TRUE(k.ui.dialogStates[0].at(1008).checked);
}

// A dialog that could not be shown confirmed nothing.
TEST(SettingsDialog, DialogThatCannotBeShownConfirmsNothing) {
    Kit k;
    k.ui.dialogError = 1400;
    DialogAnswer answer = ShowSettingsDialog(k.ui, k.resources, {Level::kKc2, Language::kRussian},
                                             Language::kEnglish);
    EXPECT_EQ(answer.outcome, DialogOutcome::kFailed);
    EXPECT_EQ(answer.error, 1400u);
    EXPECT_FALSE(answer.quickInstall);
}

}  // namespace
}  // namespace qv::testing
