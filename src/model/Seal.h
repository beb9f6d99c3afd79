#pragma once
// A sealed kit: the files its release listed, each with its size and SHA-256. A sealed
// setup.exe uses only those, and only as they were.
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

struct SealedFile {
    WideString name;
    uint64_t size = 0;
    uint8_t sha256[32] = {};
};

struct Seal {
    bool sealed = false;
    std::vector<SealedFile> files;

    // The entry of a file name, compared without case; null when the seal does not list it.
    const SealedFile* Find(const WideString& name) const;
};

}  // namespace qv
