// The 32-bit view of the current user's keys, and of the machine's under "HKLM\\".

#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

constexpr REGSAM kReadAccess = KEY_READ | KEY_WOW64_32KEY;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE | KEY_WOW64_32KEY;

// "HKLM\\" before the path names the machine's key; any other path is the user's. Every path
// setup.exe names is longer than the prefix.
HKEY RootOf(const wchar_t*& path) {
    if (memcmp(path, L"HKLM\\", 5 * sizeof(wchar_t)) != 0) return HKEY_CURRENT_USER;
    path += 5;
    return HKEY_LOCAL_MACHINE;
}

LSTATUS OpenKey(const wchar_t* path, REGSAM access, UniqueHkey& key) {
    HKEY root = RootOf(path);
    return advapi32().RegOpenKeyExW(root, path, 0, access, key.put());
}

}  // namespace

uint32_t Win32Registry::CreateKey(const char16_t* path) {
    UniqueHkey key;
    const wchar_t* below = AsWide(path);
    HKEY root = RootOf(below);
    return advapi32().RegCreateKeyExW(root, below, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      kWriteAccess, nullptr, key.put(), nullptr);
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

uint32_t Win32Registry::SetStrings(const char16_t* path, const char16_t* name,
                                   const std::vector<WideString>& values) {
    UniqueHkey key;
    if (LSTATUS r = OpenKey(AsWide(path), kWriteAccess, key)) return r;
    // Each string ends in a null, and the list in one more: the terminator's.
    WideString data;
    for (const WideString& value : values) data.Append(value).Append(u'\0');
    return advapi32().RegSetValueExW(key.get(), AsWide(name), 0, REG_MULTI_SZ,
                                     reinterpret_cast<const BYTE*>(data.c_str()),
                                     static_cast<DWORD>((data.size() + 1) * sizeof(char16_t)));
}

// Bytes, not characters, and nulls inside: a read of its own rather than ReadGrowing's.
bool Win32Registry::QueryStrings(const char16_t* path, const char16_t* name,
                                 std::vector<WideString>& values) {
    UniqueHkey key;
    DWORD type = 0, size = 0;
    if (OpenKey(AsWide(path), kReadAccess, key) != ERROR_SUCCESS ||
        advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return false;
    // Two units longer than the value and zeroed: it ends in two nulls, whatever was written.
    WideString data;
    char16_t* text = data.Lend(size / sizeof(char16_t) + 2);
    if (advapi32().RegQueryValueExW(key.get(), AsWide(name), nullptr, &type,
                                    reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        return false;
    values.clear();
    for (; *text != 0; text += values.back().size() + 1) values.push_back(WideString(text));
    return true;
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
