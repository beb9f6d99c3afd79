#pragma once
#include <cstdint>
#include <vector>

#include "common/WideString.h"

namespace qv {

// A certificate file of the kit as read once: every later step uses these bytes, so what was
// checked is what is added.
struct CertificateFile {
    WideString name;
    std::vector<uint8_t> bytes;
    uint32_t error = 0;  // why it could not be read; 0 when it was
};

}  // namespace qv
