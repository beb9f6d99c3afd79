#pragma once
// Windows and installer result codes and constants that the logic names; values as in the SDK.
#include <cstdint>

namespace qv {

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorMachineLocked = 1271;
constexpr uint32_t kErrorNotAllAssigned = 1300;
constexpr uint32_t kErrorUnknownProduct = 1605;
constexpr uint32_t kErrorBadConfiguration = 1610;
constexpr uint32_t kErrorInstallUserExit = 1602;
constexpr uint32_t kErrorSuccessRebootInitiated = 1641;
constexpr uint32_t kErrorSuccessRebootRequired = 3010;
constexpr uint32_t kErrorSuccessRestartRequired = 3011;

// Install states (INSTALLSTATE_*).
constexpr int kInstallStateUnknown = -1;
constexpr int kInstallStateBroken = 0;
constexpr int kInstallStateLocal = 3;
constexpr int kInstallStateDefault = 5;

constexpr int kInstallUiLevelNone = 2;
constexpr uint32_t kMsiOpenPackageIgnoreMachineState = 1;
constexpr uint32_t kMsiDbOpenReadOnly = 0;
constexpr uint32_t kMsiDbOpenTransact = 1;
constexpr uint32_t kMsiInstallContextMachine = 4;
constexpr uint32_t kMsiCodeProduct = 0;

// Message box styles and answers.
constexpr uint32_t kMbOk = 0;
constexpr uint32_t kMbYesNo = 4;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbIconInformation = 0x40;
constexpr int kIdYes = 6;

// Registry access masks.
constexpr uint32_t kKeyRead = 0x20019;
constexpr uint32_t kKeyWrite = 0x20006;
constexpr uint32_t kKeyWow64_32Key = 0x0200;

constexpr uint16_t kLangRussian = 1049;
constexpr uint16_t kLangEnglishUs = 1033;

}  // namespace qv
