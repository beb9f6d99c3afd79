#pragma once
// Keys under HKEY_CURRENT_USER. Every key is closed before the call returns.
#include <cstdint>

namespace qv {

class Registry {
  public:
    virtual ~Registry() = default;
    // RegCreateKeyExW, non-volatile: 0 when the key exists afterwards, else the error.
    virtual uint32_t CreateKey(const char16_t* path, uint32_t access) = 0;
    // RegOpenKeyExW: 0 when the key could be opened with `access`, else the error.
    virtual uint32_t OpenKey(const char16_t* path, uint32_t access) = 0;
    // Opens `parent` with `access` and deletes its subkey `name`, which must have no subkeys of
    // its own. Answers the open's error or the deletion's status.
    virtual uint32_t DeleteSubKey(const char16_t* parent, uint32_t access,
                                  const char16_t* name) = 0;
};

}  // namespace qv
