#pragma once
// The files beside the program that a run may use: its packages and its certificate files.
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

struct KitFolder {
    WideString folder;                     // the program's folder, with its backslash
    uint32_t error = 0;                    // the listing's error; 0 when it was listed
    std::vector<WideString> packages;      // names ending in ".msi", in name order
    std::vector<WideString> certificates;  // names ending in ".cer", ".p7b", ".crt", by kind
    std::vector<WideString> lookalikes;    // names with such an extension inside: ignored
};

}  // namespace qv
