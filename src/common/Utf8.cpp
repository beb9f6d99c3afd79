#include "common/WideString.h"

namespace qv {

std::string ToUtf8(const WideString& text) {
    std::vector<char> bytes;
    AppendUtf8(bytes, text);
    return std::string(bytes.begin(), bytes.end());
}

WideString FromUtf8(const std::string& text) {
    return FromUtf8(text.data(), text.size());
}

}  // namespace qv
