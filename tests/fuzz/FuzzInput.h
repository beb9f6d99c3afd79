#pragma once
// Shared by the fuzz targets: turning bytes into text, and failing loudly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/WideString.h"

namespace qv::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, what);
    std::abort();
}

// Not assert(): it must hold in every build type.
#define FUZZ_CHECK(condition) \
    ((condition) ? (void)0 : ::qv::fuzz::Fail(#condition, __FILE__, __LINE__))

// One code unit per byte, so that seeds stay readable; 0xFF and the next two bytes (big-endian)
// give any unit, for Cyrillic, surrogates and the top of the range.
inline std::u16string Units(const uint8_t* data, size_t size) {
    std::u16string out;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xFF && i + 2 < size) {
            out += static_cast<char16_t>(data[i + 1] << 8 | data[i + 2]);
            i += 2;
        } else {
            out += static_cast<char16_t>(data[i]);
        }
    }
    return out;
}

// Fields separated by line feeds; always at least `minimum` of them.
inline std::vector<WideString> Lines(const std::u16string& text, size_t minimum) {
    std::vector<WideString> out;
    size_t start = 0;
    for (size_t end; (end = text.find(u'\n', start)) != std::u16string::npos; start = end + 1)
        out.emplace_back(text.substr(start, end - start));
    out.emplace_back(text.substr(start));
    while (out.size() < minimum) out.emplace_back();
    return out;
}

}  // namespace qv::fuzz
