#pragma once
#include <cstdint>

#include "common/WideString.h"

namespace qv {

using IconHandle = uintptr_t;

// The controls of a running modal dialog.
class DialogWindow {
  public:
    virtual ~DialogWindow() = default;
    virtual void SetItemText(int id, const WideString& text) = 0;
    virtual void ShowItem(int id, bool show) = 0;
    virtual void CheckButton(int id) = 0;
    // IsDlgButtonChecked: 1 checked, 0 not, 2 indeterminate.
    virtual uint32_t IsButtonChecked(int id) = 0;
    virtual void EndDialog(intptr_t result) = 0;
    // The program's icon resource at 32 by 32 pixels; 0 on failure.
    virtual IconHandle LoadIcon32(int resource) = 0;
    virtual void SetBigIcon(IconHandle icon) = 0;
    virtual void DestroyIcon(IconHandle icon) = 0;
};

// What the dialog procedure forwards to.
class DialogHandler {
  public:
    virtual ~DialogHandler() = default;
    virtual intptr_t OnInitDialog(DialogWindow& dialog) = 0;
    virtual intptr_t OnCommand(DialogWindow& dialog, int id) = 0;
    virtual intptr_t OnDestroy(DialogWindow& dialog) = 0;
};

class Ui {
  public:
    virtual ~Ui() = default;
    // A message box without owner (MessageBoxW styles and answers); 0 when it cannot be shown.
    virtual int MessageBox(const WideString& text, const WideString& caption, uint32_t style) = 0;
    // The modal dialog of the template, its procedure forwarding to `handler`; -1 when it could
    // not be shown, with the error in `error`.
    virtual intptr_t DialogBox(int templateId, DialogHandler& handler, uint32_t& error) = 0;
    // Writes the text to the process's standard output when a script redirected it (UTF-8), or
    // to the console of the command prompt that started setup.exe; false when it has neither.
    virtual bool Print(const WideString& text) = 0;
};

}  // namespace qv
