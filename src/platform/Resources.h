#pragma once
#include <cstddef>
#include <cstdint>

namespace qv {

// A string-table block as the resource loader hands it out: the raw code units.
struct ResourceBlock {
    const char16_t* data = nullptr;
    size_t units = 0;
};

class Resources {
  public:
    virtual ~Resources() = default;
    // FindResourceExW(RT_STRING, block, language 0) + LoadResource/LockResource/SizeofResource.
    virtual bool FindStringBlockNeutral(uint16_t block, ResourceBlock& out) = 0;
    // FindResourceW(RT_STRING, block): the loader's default language.
    virtual bool FindStringBlock(uint16_t block, ResourceBlock& out) = 0;
    // The kit's seal the release built in (resource 200, RCDATA): its bytes, borrowed for the
    // process's life; false when there is none.
    virtual bool FindSeal(const char*& text, size_t& size) = 0;
};

}  // namespace qv
