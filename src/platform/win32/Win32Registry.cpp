// The 32-bit view of the current user's keys.

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE | KEY_WOW64_32KEY;

LSTATUS OpenKey(const wchar_t* path, REGSAM access, UniqueHkey& key) {
    return advapi32().RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, access, key.put());
}

}  // namespace

uint32_t Win32Registry::CreateKey(const char16_t* path) {
    UniqueHkey key;
    return advapi32().RegCreateKeyExW(HKEY_CURRENT_USER, AsWide(path), 0, nullptr,
                                      REG_OPTION_NON_VOLATILE, kWriteAccess, nullptr, key.put(),
                                      nullptr);
}

bool Win32Registry::KeyExists(const char16_t* path) {
    UniqueHkey key;
    return OpenKey(AsWide(path), kReadAccess, key) == ERROR_SUCCESS;
}

uint32_t Win32Registry::SetQword(const char16_t* path, const char16_t* name, uint64_t value) {
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(path), kWriteAccess, key)) return r;
    return advapi32().RegSetValueExW(key.get(), AsWide(name), 0, REG_QWORD,
                                     reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

bool Win32Registry::QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) {
    UniqueHkey key;
    DWORD type = 0;
    DWORD size = sizeof(value);
    return OpenKey(AsWide(path), kReadAccess, key) == ERROR_SUCCESS &&
           advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type,
                                       reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
           type == REG_QWORD && size == sizeof(value);
}

uint32_t Win32Registry::DeleteKey(const char16_t* path) {
    WideString whole(path);
    WideString parent = whole.Folder();
    if (parent.empty()) return ERROR_INVALID_PARAMETER;
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(parent.Left(parent.size() - 1)), kWriteAccess | DELETE, key))
        return r;
    WideString name = whole.FileName();
    // With everything below it: a subkey someone added must not keep the key, and with it a
    // restart on every run. Windows before Vista deletes a key without subkeys only.
    using DeleteTree = LSTATUS(WINAPI*)(HKEY, LPCWSTR);
    if (auto deleteTree = OptionalFunction<DeleteTree>(advapi32().module, "RegDeleteTreeW"))
        return deleteTree(key.get(), AsWide(name));
    return advapi32().RegDeleteKeyW(key.get(), AsWide(name));
}

}  // namespace qv::win32
