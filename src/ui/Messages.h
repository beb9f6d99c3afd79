#pragma once
// The message catalogue in the program's string tables, and the box each message is shown in.
#include <cstdint>

#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Resources.h"
#include "platform/Ui.h"

namespace qv {

// Box styles of the catalogue's box kinds.
constexpr uint32_t kErrorBox = 0x10;
constexpr uint32_t kQuestionBox = 0x04;
constexpr uint32_t kRestartQuestion = 0x34;
constexpr uint32_t kWarningBox = 0x30;
constexpr uint32_t kPlainBox = 0x00;
constexpr uint32_t kInformationBox = 0x40;
// The answer of a question box's Yes button (IDYES).
constexpr int kAnswerYes = 6;

struct BoxKind {
    MessageId caption;
    uint32_t style;
};
// The caption and style a message is always shown with.
BoxKind BoxKindOf(MessageId text);

// Finds the entry of `id` in a raw string-table block; false when absent or cut off.
bool FindBlockEntry(const ResourceBlock& block, uint16_t id, WideString* text);
// True when the program's module holds `id` in the table the loader picks.
bool FindMessageModule(Resources& resources, uint16_t id);
// Replaces `target` with the message; leaves it unchanged and answers false when absent.
bool LoadMessage(Resources& resources, uint16_t id, WideString& target);
// printf-style: "%s" takes `value` as it stands, "%%" is one percent sign.
void FormatMessageText(WideString& target, const WideString& format, const WideString& value);
// The message as a box shows it, "%s" replaced by `value`.
WideString MessageText(Resources& resources, MessageId id, const WideString& value);

// MessageBoxW with the catalogue's text, its caption and style; `value` fills the one "%s" of
// the formatted messages. Answers the box's result, 0 when it could not be shown.
int ShowMessage(Resources& resources, Ui& ui, MessageId text, const WideString& value = {});

}  // namespace qv
