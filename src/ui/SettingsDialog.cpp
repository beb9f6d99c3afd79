#include "ui/SettingsDialog.h"

#include "ui/Messages.h"

namespace qv {

intptr_t SettingsDialog::OnInitDialog(DialogWindow& dialog) {
    icon_ = dialog.LoadIcon32(kIconResource);
    if (icon_ != 0) dialog.SetBigIcon(icon_);
    static const int kLevelButtons[] = {kRadioKc1, kRadioKc1, kRadioKc2, kRadioKc3};
    dialog.CheckButton(kLevelButtons[static_cast<int>(preset_.level)]);
    Language language = preset_.language != Language::kNone ? preset_.language : systemLanguage_;
    dialog.CheckButton(language == Language::kRussian ? kRadioRussian : kRadioEnglish);
    return 1;
}

void SettingsDialog::Toggle(DialogWindow& dialog) {
    settingsView_ = !settingsView_;
    for (int id = kRadioRussian; id <= kTextWelcome; ++id) {
        bool welcomePart = id == kGroupWelcome || id == kTextWelcome;
        dialog.ShowItem(id, settingsView_ != welcomePart);
    }
    WideString settingsLabel, confirmLabel;
    LoadMessage(resources_, settingsView_ ? kMsgButtonHide : kMsgButtonSettings, settingsLabel);
    LoadMessage(resources_, settingsView_ ? kMsgButtonNext : kMsgButtonInstall, confirmLabel);
    dialog.SetItemText(kButtonSettings, settingsLabel);
    dialog.SetItemText(kButtonConfirm, confirmLabel);
}

void SettingsDialog::Confirm(DialogWindow& dialog) {
    static const struct {
        int id;
        Level level;
    } kLevels[] = {{kRadioKc1, Level::kKc1}, {kRadioKc2, Level::kKc2}, {kRadioKc3, Level::kKc3}};
    answer_.outcome = DialogOutcome::kConfirmed;
    for (const auto& button : kLevels)
        if (dialog.IsButtonChecked(button.id) == 1) answer_.choice.level = button.level;
    // English wins when both read checked, as the choice's text was read: rus, then eng.
    if (dialog.IsButtonChecked(kRadioRussian) == 1) answer_.choice.language = Language::kRussian;
    if (dialog.IsButtonChecked(kRadioEnglish) == 1) answer_.choice.language = Language::kEnglish;
    answer_.quickInstall = !settingsView_;
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
            answer_.outcome = DialogOutcome::kCancelled;
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

DialogAnswer ShowSettingsDialog(Ui& ui, Resources& resources, Selection preset,
                                Language systemLanguage) {
    SettingsDialog dialog(resources, preset, systemLanguage);
    uint32_t error = 0;
    // A dialog that could not be shown confirmed nothing.
    if (ui.DialogBox(kDialogTemplate, dialog, error) == -1) {
        DialogAnswer failed;
        failed.error = error;
        return failed;
    }
    DialogAnswer answer = dialog.Answer();
    // Ended by anything but its buttons: nothing was confirmed.
    if (answer.outcome == DialogOutcome::kFailed) answer.outcome = DialogOutcome::kCancelled;
    return answer;
}

}  // namespace qv
