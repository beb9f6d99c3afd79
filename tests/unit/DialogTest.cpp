#include <gtest/gtest.h>

#include "Kit.h"
#include "ui/SettingsDialog.h"

namespace qv::testing {
namespace {

struct DialogCase {
    const char* name;
    const char16_t* preset;
    uint16_t systemLanguage;
    std::deque<int> clicks;
    bool confirmed;
    const char16_t* kc;  // after the dialog; the caller passed "*kcX*" and "*xxx*"
    const char16_t* lang;
    bool quickInstall;
    const char16_t* selection;
};

TEST(SettingsDialog, ChoicesAndViews) {
    // clang-format off
    const DialogCase cases[] = {
        {"install_at_once_russian_system", u"", 1049, {118}, true, u"*kc1*", u"*rus*", true,
         u"kc1*rus*"},
        {"install_at_once_english_system", u"", 1033, {118}, true, u"*kc1*", u"*eng*", true,
         u"kc1*eng*"},
        {"preset_wins_over_system", u"**kc2***eng**", 1049, {118}, true, u"*kc2*", u"*eng*", true,
         u"kc2*eng*"},
        {"preset_rus_first", u"*rus*eng*kc3*", 1033, {118}, true, u"*kc3*", u"*rus*", true,
         u"kc3*rus*"},
        {"settings_next", u"", 1033, {1015, 1010, 118}, true, u"*kc3*", u"*eng*", false, u"kc3*eng*"},
        {"settings_hide_install", u"", 1033, {1015, 1010, 1006, 1015, 118}, true, u"*kc3*",
         u"*rus*", true, u"kc3*rus*"},
        {"toggle_twice_then_settings_next", u"", 1033, {1015, 1015, 1015, 1009, 118}, true,
         u"*kc2*", u"*eng*", false, u"kc2*eng*"},
        {"cancel", u"*kc2*", 1033, {2}, false, u"*kcX*", u"*xxx*", false, u"*kc2*"},
        {"cancel_from_settings", u"", 1033, {1015, 1010, 2}, false, u"*kcX*", u"*xxx*", false, u""},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.system.systemUiLanguage = c.systemLanguage;
        k.ui.clicks = c.clicks;
        DialogState state;
        state.settingsSelection = c.preset;
        WideString kc(u"*kcX*"), lang(u"*xxx*");
        uint32_t error = 99;
        EXPECT_EQ(ShowSettingsDialog(k.plat, kc, lang, state, error),
                  c.confirmed ? DialogOutcome::kConfirmed : DialogOutcome::kCancelled);
        EXPECT_EQ(error, 0u);
        EXPECT_EQ(kc, WideString(c.kc));
        EXPECT_EQ(lang, WideString(c.lang));
        EXPECT_EQ(state.quickInstall, c.quickInstall);
        EXPECT_EQ(state.settingsSelection, WideString(c.selection));
        EXPECT_EQ(k.ui.dialogsShown, std::vector<int>{102});
        ASSERT_TRUE(k.ui.lastDialog);
        EXPECT_EQ(k.ui.lastDialog->iconsLoaded, 1);
        EXPECT_NE(k.ui.lastDialog->bigIcon, 0u);
        EXPECT_EQ(k.Leaks(), "");
    }
}

// Visible controls and the two labels in each view.
TEST(SettingsDialog, ToggleSwapsTheViews) {
    Kit k;
    k.ui.clicks = {1015, 1015, 118};
    DialogState state;
    WideString kc, lang;
    uint32_t error = 0;
    ShowSettingsDialog(k.plat, kc, lang, state, error);
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
    EXPECT_TRUE(state.quickInstall);
}

// The labels are read back through 10- and 20-unit buffers: a longer catalogue text can never
// equal the cut button text, so the view and the quick install are misjudged.
TEST(SettingsDialog, LabelBuffersBoundTheComparison) {
    struct {
        const char* name;
        const char16_t* settings;  // message 117 and the template's button 1015
        const char16_t* install;   // message 120 and the template's button 118
        std::deque<int> clicks;
        const char16_t* settingsLabelAfterFirstClick;
        bool quickInstall;
    } cases[] = {
        {"nine_units_fit", u"Settings1", u"Install", {1015, 118}, u"Hide", false},
        // "Settings1" read back differs from message 117: taken for the settings view, the
        // click showed the welcome view again, and confirm then comes from "Install".
        {"ten_units_are_cut", u"Settings12", u"Install", {1015, 118}, u"Settings12", true},
        {"nineteen_units_fit", u"Settings", u"Install 123456789AB", {118}, u"", true},
        {"twenty_units_are_cut", u"Settings", u"Install 123456789ABC", {118}, u"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.resources.SetStrings(
            {{116, u"Hide"}, {117, c.settings}, {118, u"Next"}, {120, c.install}});
        k.ui.dialogTemplate[1015].text = c.settings;
        k.ui.dialogTemplate[118].text = c.install;
        k.ui.clicks = c.clicks;
        DialogState state;
        WideString kc, lang;
        uint32_t error = 0;
        ShowSettingsDialog(k.plat, kc, lang, state, error);
        if (c.clicks.size() > 1) {
            EXPECT_EQ(k.ui.dialogStates[1].at(1015).text,
                      WideString(c.settingsLabelAfterFirstClick));
        }
        EXPECT_EQ(state.quickInstall, c.quickInstall);
    }
}

// A dialog that could not be shown confirmed nothing: no choice is taken from the preset.
TEST(SettingsDialog, DialogThatCannotBeShownConfirmsNothing) {
    Kit k;
    k.ui.dialogError = 1400;
    DialogState state;
    state.settingsSelection = u"**kc2***rus**";
    WideString kc, lang;
    uint32_t error = 0;
    EXPECT_EQ(ShowSettingsDialog(k.plat, kc, lang, state, error), DialogOutcome::kFailed);
    EXPECT_EQ(error, 1400u);
    EXPECT_TRUE(kc.empty() && lang.empty());
    EXPECT_FALSE(state.quickInstall);
}

}  // namespace
}  // namespace qv::testing
