#include "ui/Messages.h"

namespace qv {

bool FindBlockEntry(const ResourceBlock& block, uint16_t id, WideString* text) {
    if (block.data == nullptr) return false;
    size_t pos = 0;
    for (unsigned entry = id % 16; entry > 0; --entry) {
        if (pos >= block.units) return false;
        pos += 1u + block.data[pos];
    }
    if (pos >= block.units) return false;
    size_t count = block.data[pos];
    // A count that runs past the block's end is damage, not a message.
    if (count == 0 || count > block.units - pos - 1) return false;
    if (text != nullptr) *text = WideString(block.data + pos + 1, count);
    return true;
}

static uint16_t BlockOf(uint16_t id) {
    return static_cast<uint16_t>(id / 16 + 1);
}

bool FindMessageModule(Resources& resources, uint16_t id) {
    ResourceBlock block;
    return resources.FindStringBlockNeutral(BlockOf(id), block) &&
           FindBlockEntry(block, id, nullptr);
}

bool LoadMessage(Resources& resources, uint16_t id, WideString& target) {
    if (!FindMessageModule(resources, id)) return false;
    ResourceBlock block;
    if (!resources.FindStringBlock(BlockOf(id), block)) return false;
    return FindBlockEntry(block, id, &target);
}

void FormatMessageText(WideString& target, const WideString& format, const WideString& value) {
    WideString out;
    for (size_t i = 0; i < format.size(); ++i) {
        char16_t c = format[i];
        if (c == u'%' && i + 1 < format.size() && format[i + 1] == u's') {
            out.Append(value);
            ++i;
        } else if (c == u'%' && i + 1 < format.size() && format[i + 1] == u'%') {
            out.Append(u'%');
            ++i;
        } else {
            out.Append(c);
        }
    }
    target = out;
}

WideString MessageText(Resources& resources, MessageId id, const WideString& value) {
    WideString text;
    LoadMessage(resources, id, text);
    FormatMessageText(text, text, value);
    return text;
}

BoxKind BoxKindOf(MessageId text) {
    switch (text) {
        case kMsgSameVersionReinstall:
            return {kMsgCaptionUpdate, kQuestionBox};
        case kMsgNewerInstalled:
            return {kMsgCaptionUpdate, kErrorBox};
        case kMsgRebootNow:
            return {kMsgCaptionWarning, kRestartQuestion};
        case kMsgKcLanguageDiffer:
            return {kMsgCaptionWarning, kWarningBox};
        case kMsgRestartFailed:
            return {kMsgCaptionWarning, kPlainBox};
        case kMsgWhatIf:
            return {kMsgCaptionWhatIf, kInformationBox};
        case kMsgRemove:
            return {kMsgCaptionRemove, kQuestionBox};
        case kMsgNotInstalled:
            return {kMsgCaptionRemove, kErrorBox};
        default:
            return {kMsgCaptionError, kErrorBox};
    }
}

int ShowMessage(Resources& resources, Ui& ui, MessageId text, const WideString& value) {
    BoxKind kind = BoxKindOf(text);
    WideString caption;
    LoadMessage(resources, kind.caption, caption);
    return ui.MessageBox(MessageText(resources, text, value), caption, kind.style);
}

}  // namespace qv
