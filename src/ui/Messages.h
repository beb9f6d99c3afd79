#pragma once
// The message catalogue in the program's string tables, and the fixed ways of showing a box.
#include <cstdint>

#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

enum MessageId : uint16_t {
    kMsgNotAdmin = 101,
    kMsgSameVersionReinstall = 102,
    kMsgNewerInstalled = 103,
    kMsgPackageNotFound = 104,
    kMsgNoFullPath = 105,
    kMsgNoInstalledVersion = 106,
    kMsgNoInstalledVersionSize = 107,
    kMsgCannotOpenNewPackage = 108,
    kMsgNoNewVersion = 109,
    kMsgNoInstalledPackagePath = 110,
    kMsgNoInstalledPackagePathSize = 111,
    kMsgNoReleaseFlags = 112,
    kMsgNoProductLanguage = 113,
    kMsgCaptionUpdate = 114,
    kMsgCaptionError = 115,
    kMsgButtonHide = 116,
    kMsgButtonSettings = 117,
    kMsgButtonNext = 118,
    kMsgTooOld = 119,
    kMsgButtonInstall = 120,
    kMsgRebootNow = 121,
    kMsgNoProductCode = 122,
    kMsgCaptionWarning = 123,
    kMsgKcLanguageDiffer = 124,
    kMsgRestartFailed = 125,
};

// Box styles of the catalogue's box kinds.
constexpr uint32_t kErrorBox = 0x10;
constexpr uint32_t kQuestionBox = 0x04;
constexpr uint32_t kRestartQuestion = 0x34;
constexpr uint32_t kWarningBox = 0x30;
constexpr uint32_t kPlainBox = 0x00;

// Finds the entry of `id` in a raw string-table block; false when absent or cut off.
bool FindBlockEntry(const ResourceBlock& block, uint16_t id, WideString* text);
// True when the program's module holds `id` in the table the loader picks.
bool FindMessageModule(Resources& resources, uint16_t id);
// Replaces `target` with the message; leaves it unchanged and answers false when absent.
bool LoadMessage(Resources& resources, uint16_t id, WideString& target);
// printf-style: "%s" takes `value` as it stands, "%%" is one percent sign.
void FormatMessageText(WideString& target, const WideString& format, const WideString& value);

// MessageBoxW with catalogue texts; `value` fills the one "%s" of the formatted messages.
int ShowMessage(Platform& platform, uint16_t textId, uint16_t captionId, uint32_t style);
int ShowFormattedMessage(Platform& platform, uint16_t textId, uint16_t captionId, uint32_t style,
                         const WideString& value);
// The error box with caption "Error", unless silent.
void ShowErrorUnlessSilent(Platform& platform, bool silent, uint16_t textId);

}  // namespace qv
