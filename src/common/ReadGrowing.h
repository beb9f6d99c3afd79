#pragma once
// The one loop of Windows' two-call string reads, written without Windows so that it is tested
// natively; the adapters wrap it around their calls.
#include <cstdint>

#include "common/ResultCodes.h"
#include "common/WideString.h"

namespace qv {

// Room of the first call, terminator included: MAX_PATH + 1. Wine's msi.dll writes its
// terminator at buffer[length] even when the buffer is shorter, so a first call lent a unit or
// two corrupts whatever lies beyond.
constexpr uint32_t kFirstReadRoom = 261;
// A value that keeps growing between calls is given up after this many.
constexpr int kReadCalls = 8;

// `read(context, buffer, size)` is lent `*size` units (terminator included) and answers a
// Windows code: 0 with the length it wrote in `*size` (terminator excluded), or 234
// (ERROR_MORE_DATA) with the length it needs. A success that reports more than the buffer held
// (Wine's MsiSourceListEnumSourcesW, counting bytes, writes nothing) asks again with that room.
// On success the text replaces `value`; `required` makes an empty text a failed read, 1610
// (ERROR_BAD_CONFIGURATION): a value the installer keeps for every product never reads empty.
// `first` tells whether the failing call was the first.
#ifdef _WIN32
using ReadSize = unsigned long;  // DWORD: Windows' calls take the size as it is
#else
using ReadSize = uint32_t;
#endif
static_assert(sizeof(ReadSize) == 4, "a 32-bit size");
using ReadCall = uint32_t (*)(const void* context, char16_t* buffer, ReadSize* size);

uint32_t ReadGrowing(WideString& value, ReadCall read, const void* context, bool required = false,
                     bool* first = nullptr);

}  // namespace qv
