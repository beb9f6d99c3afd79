#pragma once
#include "model/DialogAnswer.h"
#include "platform/Resources.h"
#include "platform/Ui.h"

namespace qv {

enum DialogControl : int {
    kDialogTemplate = 102,
    kIconResource = 100,
    kButtonConfirm = 118,
    kButtonCancel = 2,
    kRadioRussian = 1006,
    kRadioEnglish = 1007,
    kRadioKc1 = 1008,
    kRadioKc2 = 1009,
    kRadioKc3 = 1010,
    kGroupWelcome = 1011,
    kGroupLanguage = 1012,
    kGroupLevel = 1013,
    kTextWelcome = 1014,
    kButtonSettings = 1015,
};

// The dialog procedure's logic: the preset level (KC1 when none) and language (the system's
// when none) checked, the welcome view first.
class SettingsDialog : public DialogHandler {
  public:
    SettingsDialog(Resources& resources, Selection preset, Language systemLanguage)
        : resources_(resources), preset_(preset), systemLanguage_(systemLanguage) {}
    intptr_t OnInitDialog(DialogWindow& dialog) override;
    intptr_t OnCommand(DialogWindow& dialog, int id) override;
    intptr_t OnDestroy(DialogWindow& dialog) override;
    const DialogAnswer& Answer() const { return answer_; }

  private:
    void Toggle(DialogWindow& dialog);
    void Confirm(DialogWindow& dialog);

    Resources& resources_;
    Selection preset_;
    Language systemLanguage_;
    bool settingsView_ = false;
    IconHandle icon_ = 0;
    DialogAnswer answer_;
};

DialogAnswer ShowSettingsDialog(Ui& ui, Resources& resources, Selection preset,
                                Language systemLanguage);

}  // namespace qv
