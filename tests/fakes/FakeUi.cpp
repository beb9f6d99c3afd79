#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

// The answers each MB_ button set can give, its default button first.
std::vector<int> Answers(uint32_t style) {
    switch (style & 0xF) {
        case 0:
            return {1};
        case 1:
            return {1, 2};
        case 2:
            return {3, 4, 5};
        case 3:
            return {6, 7, 2};
        case 4:
            return {6, 7};
        case 5:
            return {4, 2};
        default:
            return {};
    }
}

}  // namespace

FakeDialogWindow::FakeDialogWindow(std::map<int, ControlState> controls,
                                   std::vector<std::vector<int>> groups,
                                   std::set<int> iconResources)
    : controls(std::move(controls)),
      groups_(std::move(groups)),
      iconResources_(std::move(iconResources)) {}

void FakeDialogWindow::Click(int id, DialogHandler& handler) {
    auto control = controls.find(id);
    // Escape and the close box send IDCANCEL whatever the dialog holds.
    if (id != FakeUi::kIdCancel && (control == controls.end() || !control->second.visible)) {
        ADD_FAILURE() << "click on control " << id << ", which is absent or hidden";
        return;
    }
    // The click checks an automatic radio button and clears the rest of its group.
    for (const auto& group : groups_) {
        if (std::find(group.begin(), group.end(), id) == group.end()) continue;
        for (int other : group) {
            auto sibling = controls.find(other);
            if (sibling != controls.end()) sibling->second.checked = other == id;
        }
    }
    handler.OnCommand(*this, id);
}

WideString FakeDialogWindow::GetItemText(int id, uint32_t capacity) {
    auto control = controls.find(id);
    if (control == controls.end() || capacity == 0) return WideString();
    const std::u16string& text = control->second.text.str();
    return WideString(text.substr(0, std::min<size_t>(text.size(), capacity - 1)));
}

void FakeDialogWindow::SetItemText(int id, const WideString& text) {
    auto control = controls.find(id);
    if (control != controls.end()) control->second.text = text;
}

void FakeDialogWindow::ShowItem(int id, bool show) {
    auto control = controls.find(id);
    if (control != controls.end()) control->second.visible = show;
}

// CheckDlgButton: the rest of the group keeps its state, unlike a click.
void FakeDialogWindow::CheckButton(int id) {
    auto control = controls.find(id);
    if (control != controls.end()) control->second.checked = true;
}

uint32_t FakeDialogWindow::IsButtonChecked(int id) {
    auto control = controls.find(id);
    return control != controls.end() && control->second.checked ? 1 : 0;
}

void FakeDialogWindow::EndDialog(intptr_t value) {
    ended = true;
    result = value;
}

IconHandle FakeDialogWindow::LoadIcon32(int resource) {
    if (iconResources_.count(resource) == 0) return 0;
    IconHandle icon = 0x1000 + static_cast<IconHandle>(++iconsLoaded);
    liveIcons_.insert(icon);
    return icon;
}

void FakeDialogWindow::SetBigIcon(IconHandle icon) {
    bigIcon = icon;
}

void FakeDialogWindow::DestroyIcon(IconHandle icon) {
    if (icon == 0) return;  // fails harmlessly on Windows
    if (liveIcons_.erase(icon) == 0) {
        ADD_FAILURE() << "DestroyIcon of an icon that is not loaded";
        return;
    }
    ++iconsDestroyed;
}

int FakeUi::MessageBox(const WideString& text, const WideString& caption, uint32_t style) {
    boxes.push_back({text, caption, style});
    std::vector<int> possible = Answers(style);
    size_t defaultButton = (style >> 8) & 0xF;
    int answer = possible.empty()                  ? kIdOk
                 : defaultButton < possible.size() ? possible[defaultButton]
                                                   : possible[0];
    if (!answers.empty()) {
        answer = answers.front();
        answers.pop_front();
        if (answer != 0 && !possible.empty() &&
            std::find(possible.begin(), possible.end(), answer) == possible.end()) {
            ADD_FAILURE() << "answer " << answer << " scripted for a box of style " << Hex(style);
        }
    }
    return answer;
}

intptr_t FakeUi::DialogBox(int templateId, DialogHandler& handler, uint32_t& error) {
    dialogsShown.push_back(templateId);
    error = dialogError;
    if (dialogError != 0) return -1;
    lastDialog = std::make_unique<FakeDialogWindow>(dialogTemplate, radioGroups, iconResources);
    FakeDialogWindow& dialog = *lastDialog;
    dialogStates.clear();
    handler.OnInitDialog(dialog);
    dialogStates.push_back(dialog.controls);
    while (!dialog.ended && !clicks.empty()) {
        int id = clicks.front();
        clicks.pop_front();
        dialog.Click(id, handler);
        dialogStates.push_back(dialog.controls);
    }
    if (!dialog.ended) ADD_FAILURE() << "dialog " << templateId << " still open after the clicks";
    handler.OnDestroy(dialog);
    return dialog.ended ? dialog.result : 0;
}

}  // namespace qv::fakes
