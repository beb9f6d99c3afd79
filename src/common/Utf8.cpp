#include "common/WideString.h"

namespace qv {

std::string ToUtf8(const WideString& text) {
    std::vector<char> bytes;
    AppendUtf8(bytes, text);
    return std::string(bytes.begin(), bytes.end());
}

WideString FromUtf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        uint32_t c;
        size_t extra;
        if (b < 0x80) {
            c = b, extra = 0;
        } else if ((b >> 5) == 6) {
            c = b & 0x1F, extra = 1;
        } else if ((b >> 4) == 14) {
            c = b & 0x0F, extra = 2;
        } else {
            c = b & 0x07, extra = 3;
        }
        ++i;
        for (size_t k = 0; k < extra && i < text.size(); ++k, ++i)
            c = (c << 6) | (static_cast<unsigned char>(text[i]) & 0x3F);
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return WideString(std::move(out));
}

}  // namespace qv
