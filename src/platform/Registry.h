#pragma once
// Keys under HKEY_CURRENT_USER, in the 32-bit view, by their path below it; a path that starts
// with "HKLM\\" names one under HKEY_LOCAL_MACHINE.
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

class Registry {
  public:
    virtual ~Registry() = default;
    // Creates the key (non-volatile): 0 when it exists afterwards, else the error.
    virtual uint32_t CreateKey(const char16_t* path) = 0;
    virtual bool KeyExists(const char16_t* path) = 0;
    // A REG_QWORD value of the key: 0, or the error.
    virtual uint32_t SetQword(const char16_t* path, const char16_t* name, uint64_t value) = 0;
    // False when the key or the value is missing, or the value is no REG_QWORD.
    virtual bool QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) = 0;
    // A REG_MULTI_SZ value of the key, of strings that are not empty: 0, or the error.
    virtual uint32_t SetStrings(const char16_t* path, const char16_t* name,
                                const std::vector<WideString>& values) = 0;
    // False when the key or the value is missing, or the value is no REG_MULTI_SZ.
    virtual bool QueryStrings(const char16_t* path, const char16_t* name,
                              std::vector<WideString>& values) = 0;
    // Deletes the key and everything below it: 0, or the error.
    virtual uint32_t DeleteKey(const char16_t* path) = 0;
};

}  // namespace qv
