#pragma once
// The msi.dll calls, shaped after the Windows functions and returning their codes.
#include <cstdint>

#include "common/WideString.h"

namespace qv {

using MsiHandle = uint32_t;

class Installer {
  public:
    virtual ~Installer() = default;
    virtual void SetInternalUI(int level) = 0;
    virtual int QueryProductState(const char16_t* product) = 0;
    // `buffer` may be null to ask for the length; `length` excludes the terminator.
    virtual uint32_t GetProductInfo(const char16_t* product, const char16_t* attribute,
                                    char16_t* buffer, uint32_t* length) = 0;
    virtual uint32_t OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) = 0;
    virtual uint32_t GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                                 uint32_t* length) = 0;
    // `buffer` holds 39 units.
    virtual uint32_t EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                         char16_t* buffer) = 0;
    virtual int GetComponentPath(const char16_t* product, const char16_t* component,
                                 char16_t* buffer, uint32_t* length) = 0;
    virtual uint32_t SourceListGetInfo(const char16_t* product, uint32_t context, uint32_t options,
                                       const char16_t* property, char16_t* buffer,
                                       uint32_t* length) = 0;
    virtual uint32_t SourceListClearAll(const char16_t* product) = 0;
    virtual uint32_t SourceListSetInfo(const char16_t* product, uint32_t context, uint32_t options,
                                       const char16_t* property, const char16_t* value) = 0;
    virtual uint32_t OpenDatabase(const char16_t* path, uint32_t persist, MsiHandle* out) = 0;
    virtual uint32_t DatabaseOpenView(MsiHandle database, const char16_t* query,
                                      MsiHandle* out) = 0;
    virtual uint32_t ViewExecute(MsiHandle view, MsiHandle record) = 0;
    // MsiViewFetch: the next row's record; 259 (ERROR_NO_MORE_ITEMS) after the last.
    virtual uint32_t ViewFetch(MsiHandle view, MsiHandle* record) = 0;
    // MsiRecordGetStringW of field `field` (from 1); `length` as GetProperty's.
    virtual uint32_t RecordGetString(MsiHandle record, uint32_t field, char16_t* buffer,
                                     uint32_t* length) = 0;
    virtual uint32_t DatabaseCommit(MsiHandle database) = 0;
    virtual uint32_t CloseHandle(MsiHandle handle) = 0;
};

// Owns one installer handle for a scope.
class MsiHandleHolder {
  public:
    explicit MsiHandleHolder(Installer& installer) : installer_(installer) {}
    ~MsiHandleHolder() { reset(); }
    MsiHandleHolder(const MsiHandleHolder&) = delete;
    MsiHandleHolder& operator=(const MsiHandleHolder&) = delete;
    MsiHandle get() const { return handle_; }
    MsiHandle* put() {
        reset();
        return &handle_;
    }
    void reset() {
        if (handle_ != 0) installer_.CloseHandle(handle_);
        handle_ = 0;
    }

  private:
    Installer& installer_;
    MsiHandle handle_ = 0;
};

}  // namespace qv
