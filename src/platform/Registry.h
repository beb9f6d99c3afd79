#pragma once
#include <cstdint>
#include <memory>

#include "common/WideString.h"
#include "platform/SystemInfo.h"

namespace qv {

// An open HKEY; the destructor closes it.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // Calls a resolved RegDeleteKeyExW(key, name, access, 0).
    virtual uint32_t CallDeleteKeyEx(ProcAddress entry, const char16_t* name,
                                     uint32_t access) = 0;
    // Calls a resolved RegDeleteKeyW(key, name).
    virtual uint32_t CallDeleteKey(ProcAddress entry, const char16_t* name) = 0;
};

// Keys under HKEY_CURRENT_USER.
class Registry {
public:
    virtual ~Registry() = default;
    virtual uint32_t CreateKey(const char16_t* path, uint32_t access,
                               std::unique_ptr<RegistryKey>& out) = 0;
    virtual uint32_t OpenKey(const char16_t* path, uint32_t access,
                             std::unique_ptr<RegistryKey>& out) = 0;
};

}  // namespace qv
