// The program's own resources: string-table blocks and the seal.

#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

bool LoadBlock(HINSTANCE instance, HRSRC resource, ResourceBlock& out) {
    if (resource == nullptr) return false;
    HGLOBAL loaded = ::LoadResource(instance, resource);
    const void* data = loaded ? ::LockResource(loaded) : nullptr;
    if (data == nullptr) return false;
    out.data = static_cast<const char16_t*>(data);
    out.units = ::SizeofResource(instance, resource) / sizeof(char16_t);
    return true;
}

}  // namespace

bool Win32Resources::FindStringBlockNeutral(uint16_t block, ResourceBlock& out) {
    HRSRC r = ::FindResourceExW(instance_, reinterpret_cast<LPCWSTR>(RT_STRING),
                                MAKEINTRESOURCEW(block), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    return LoadBlock(instance_, r, out);
}

bool Win32Resources::FindSeal(const char*& text, size_t& size) {
    ResourceBlock block;
    HRSRC r =
        ::FindResourceW(instance_, MAKEINTRESOURCEW(200), reinterpret_cast<LPCWSTR>(RT_RCDATA));
    if (!LoadBlock(instance_, r, block)) return false;
    text = reinterpret_cast<const char*>(block.data);
    size = ::SizeofResource(instance_, r);
    return true;
}

bool Win32Resources::FindStringBlock(uint16_t block, ResourceBlock& out) {
    HRSRC r =
        ::FindResourceW(instance_, MAKEINTRESOURCEW(block), reinterpret_cast<LPCWSTR>(RT_STRING));
    return LoadBlock(instance_, r, out);
}

}  // namespace qv::win32
