#pragma once
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// The two values the dialog shares with the run; they outlive each showing of it.
struct DialogState {
    WideString settingsSelection;  // preset in, choice out: searched for kc1..kc3, rus, eng
    bool quickInstall = false;     // confirmed from the welcome view: install with "/qb"
};

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

// The dialog procedure's logic; the view is held in the text of the settings button.
class SettingsDialog : public DialogHandler {
  public:
    SettingsDialog(Platform& platform, DialogState& state) : platform_(platform), state_(state) {}
    intptr_t OnInitDialog(DialogWindow& dialog) override;
    intptr_t OnCommand(DialogWindow& dialog, int id) override;
    intptr_t OnDestroy(DialogWindow& dialog) override;
    bool Cancelled() const { return cancelled_; }

  private:
    void Toggle(DialogWindow& dialog);
    void Confirm(DialogWindow& dialog);

    Platform& platform_;
    DialogState& state_;
    IconHandle icon_ = 0;
    bool cancelled_ = false;
};

enum class DialogOutcome { kConfirmed, kCancelled, kFailed };

// Runs the dialog and, when it is confirmed, writes the choice into `kc` and `lang`. When it
// could not be shown, `error` holds the system's error.
DialogOutcome ShowSettingsDialog(Platform& platform, WideString& kc, WideString& lang,
                                 DialogState& state, uint32_t& error);

}  // namespace qv
