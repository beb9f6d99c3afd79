#include "ui/SettingsDialog.h"

#include "common/ResultCodes.h"
#include "ui/Messages.h"

namespace qv {

namespace {
constexpr uint32_t kSettingsTextBuffer = 10;
constexpr uint32_t kConfirmTextBuffer = 20;
}  // namespace

intptr_t SettingsDialog::OnInitDialog(DialogWindow& dialog) {
    icon_ = dialog.LoadIcon32(kIconResource);
    if (icon_ != 0) dialog.SetBigIcon(icon_);

    const WideString& selection = state_.settingsSelection;
    if (selection.Contains(u"kc1")) {
        dialog.CheckButton(kRadioKc1);
    } else if (selection.Contains(u"kc2")) {
        dialog.CheckButton(kRadioKc2);
    } else if (selection.Contains(u"kc3")) {
        dialog.CheckButton(kRadioKc3);
    } else {
        dialog.CheckButton(kRadioKc1);
    }

    bool russian = selection.Contains(u"rus") ||
                   (!selection.Contains(u"eng") &&
                    platform_.system.GetSystemDefaultUILanguage() == kLangRussian);
    dialog.CheckButton(russian ? kRadioRussian : kRadioEnglish);
    return 1;
}

void SettingsDialog::Toggle(DialogWindow& dialog) {
    WideString current = dialog.GetItemText(kButtonSettings, kSettingsTextBuffer);
    WideString settings;
    LoadMessage(platform_.resources, kMsgButtonSettings, settings);
    bool showSettings = current == settings;
    for (int id = kRadioRussian; id <= kTextWelcome; ++id) {
        bool welcomePart = id == kGroupWelcome || id == kTextWelcome;
        dialog.ShowItem(id, showSettings != welcomePart);
    }
    WideString settingsLabel, confirmLabel;
    LoadMessage(platform_.resources, showSettings ? kMsgButtonHide : kMsgButtonSettings,
                settingsLabel);
    LoadMessage(platform_.resources, showSettings ? kMsgButtonNext : kMsgButtonInstall,
                confirmLabel);
    dialog.SetItemText(kButtonSettings, settingsLabel);
    dialog.SetItemText(kButtonConfirm, confirmLabel);
}

void SettingsDialog::Confirm(DialogWindow& dialog) {
    static const struct {
        int id;
        const char16_t* token;
    } kTokens[] = {{kRadioKc1, u"kc1*"},
                   {kRadioKc2, u"kc2*"},
                   {kRadioKc3, u"kc3*"},
                   {kRadioRussian, u"rus*"},
                   {kRadioEnglish, u"eng*"}};
    WideString selection;
    for (const auto& t : kTokens)
        if (dialog.IsButtonChecked(t.id) == 1) selection.Append(t.token);
    state_.settingsSelection = selection;

    WideString confirm = dialog.GetItemText(kButtonConfirm, kConfirmTextBuffer);
    WideString install;
    LoadMessage(platform_.resources, kMsgButtonInstall, install);
    if (confirm == install) state_.quickInstall = true;
    dialog.EndDialog(0);
}

intptr_t SettingsDialog::OnCommand(DialogWindow& dialog, int id) {
    switch (id) {
        case kButtonSettings:
            Toggle(dialog);
            return 0;
        case kButtonConfirm:
            Confirm(dialog);
            return 1;
        case kButtonCancel:
            cancelled_ = true;
            dialog.EndDialog(0);
            return 0;
        default:
            return 0;
    }
}

intptr_t SettingsDialog::OnDestroy(DialogWindow& dialog) {
    if (icon_ != 0) dialog.DestroyIcon(icon_);
    icon_ = 0;
    return 0;
}

DialogOutcome ShowSettingsDialog(Platform& platform, WideString& kc, WideString& lang,
                                 DialogState& state, uint32_t& error) {
    SettingsDialog dialog(platform, state);
    // A dialog that could not be shown confirmed nothing.
    if (platform.ui.DialogBox(kDialogTemplate, dialog, error) == -1) return DialogOutcome::kFailed;
    if (dialog.Cancelled()) return DialogOutcome::kCancelled;

    const WideString& selection = state.settingsSelection;
    ptrdiff_t at = selection.Find(u"kc");
    if (at >= 0 && static_cast<size_t>(at) + 2 < selection.size()) {
        WideString level(u"*kc");
        level.Append(selection[static_cast<size_t>(at) + 2]);
        level.Append(u'*');
        kc = level;
    }
    if (selection.Contains(u"rus")) lang = u"*rus*";
    if (selection.Contains(u"eng")) lang = u"*eng*";
    return DialogOutcome::kConfirmed;
}

}  // namespace qv
