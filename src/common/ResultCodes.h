#pragma once
// Windows and installer result codes and constants that the logic names; values as in the SDK.
#include <cstdint>

namespace qv {

constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorNotReady = 21;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorShutdownInProgress = 1115;
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
constexpr uint32_t kNteBadAlgid = 0x80090008;
constexpr uint32_t kNteFail = 0x80090020;
constexpr uint32_t kNteNotSupported = 0x80090029;
constexpr uint32_t kCryptUnknownAlgo = 0x80091002;
constexpr uint32_t kCryptExists = 0x80092005;   // the store has it already
constexpr uint32_t kCryptNoMatch = 0x80092009;  // no certificate in the bytes

constexpr uint16_t kLangRussian = 1049;
constexpr uint16_t kLangEnglishUs = 1033;

}  // namespace qv
