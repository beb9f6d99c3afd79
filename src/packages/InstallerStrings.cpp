#include "packages/InstallerStrings.h"

#include "common/ResultCodes.h"

namespace qv {

uint32_t ReadProductInfo(Installer& installer, const WideString& product, const char16_t* attribute,
                         WideString& value, ReadStep* failed) {
    uint32_t length = 0;
    uint32_t status = installer.GetProductInfo(product.c_str(), attribute, nullptr, &length);
    if (failed != nullptr) *failed = ReadStep::kLength;
    if (status != 0) return status;
    if (failed != nullptr) *failed = ReadStep::kValue;
    uint32_t capacity = length + 1;
    status = installer.GetProductInfo(product.c_str(), attribute, value.Lend(capacity), &capacity);
    value.Commit();
    return status;
}

namespace {

// The two calls of a string read whose empty value fits an empty buffer: anything but 234 on
// the first call is the answer, and leaves `value` as it was.
template <typename Read>
uint32_t ReadTwice(WideString& value, Read read) {
    char16_t empty[1] = {0};
    uint32_t length = 0;
    uint32_t status = read(empty, &length);
    if (status != kErrorMoreData) return status;
    uint32_t capacity = length + 1;
    status = read(value.Lend(capacity), &capacity);
    value.Commit();
    return status;
}

}  // namespace

uint32_t ReadPackageProperty(Installer& installer, MsiHandle package, const char16_t* name,
                             WideString& value) {
    return ReadTwice(value, [&](char16_t* buffer, uint32_t* length) {
        return installer.GetProperty(package, name, buffer, length);
    });
}

uint32_t ReadRecordString(Installer& installer, MsiHandle record, uint32_t field,
                          WideString& value) {
    return ReadTwice(value, [&](char16_t* buffer, uint32_t* length) {
        return installer.RecordGetString(record, field, buffer, length);
    });
}

int ReadComponentPath(Installer& installer, const WideString& product, const char16_t* component,
                      WideString& path) {
    char16_t empty[1] = {0};
    uint32_t length = 0;
    installer.GetComponentPath(product.c_str(), component, empty, &length);
    uint32_t capacity = length + 1;
    int state =
        installer.GetComponentPath(product.c_str(), component, path.Lend(capacity), &capacity);
    path.Commit();
    return state;
}

}  // namespace qv
