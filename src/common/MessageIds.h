#pragma once
// The numbers of the catalogue's messages: plain data, so that any step can name the message
// for what went wrong without reaching up into the user interface.
#include <cstdint>

namespace qv {

enum MessageId : uint16_t {
    kNoMessage = 0,
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
    kMsgAlreadyRunning = 126,
    kMsgLevelNotFound = 127,
    kMsgAnotherVersionInstalled = 128,
    kMsgWhatIf = 129,
    kMsgCaptionWhatIf = 130,
    kMsgRemove = 131,
    kMsgCaptionRemove = 132,
    kMsgNotInstalled = 133,
    kMsgKitChanged = 134,
    kMsgLast = kMsgKitChanged,  // sets of messages have a bit for each up to here
};

}  // namespace qv
