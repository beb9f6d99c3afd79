#include "common/WideString.h"

#include <algorithm>

#include <new>
#include <stdexcept>

namespace qv {

char16_t FoldCase(char16_t unit) {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

bool SameWithoutCase(char16_t a, char16_t b) {
    return FoldCase(a) == FoldCase(b);
}

bool BeforeWithoutCase(char16_t a, char16_t b) {
    return FoldCase(a) < FoldCase(b);
}

bool EqualWithoutCase(std::u16string_view a, std::u16string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), SameWithoutCase);
}

bool ContainsWithoutCase(std::u16string_view text, std::u16string_view part) {
    for (size_t at = 0; at + part.size() <= text.size(); ++at)
        if (EqualWithoutCase(text.substr(at, part.size()), part)) return true;
    return false;
}

void AppendHex(WideString& text, uint32_t value, int digits, bool upper) {
    const char16_t* set = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text.Append(set[(value >> shift) & 0xF]);
}
namespace {

size_t Length(const char16_t* text) {
    if (text == nullptr) RaiseFatalError(kExitInvalidArgument);
    return std::char_traits<char16_t>::length(text);
}

// Allocation failures surface as the string type's own error, with the Windows code. Without
// exceptions the allocator itself raises it.
template <typename F>
void Guarded(F&& f) {
#if defined(__cpp_exceptions)
    try {
        f();
    } catch (const std::bad_alloc&) {
        RaiseFatalError(kExitOutOfMemory);
    } catch (const std::length_error&) {
        RaiseFatalError(kExitOutOfMemory);
    }
#else
    f();
#endif
}

}  // namespace

#if defined(__cpp_exceptions)
void RaiseFatalError(ExitCode code) {
    throw FatalError(code);
}
#endif

WideString::WideString(const char16_t* text) {
    size_t n = Length(text);
    Guarded([&] { text_.assign(text, n); });
}

WideString::WideString(const char16_t* text, size_t length) {
    if (text == nullptr && length != 0) RaiseFatalError(kExitInvalidArgument);
    Guarded([&] { text_.assign(text, length); });
}

WideString& WideString::operator=(const char16_t* text) {
    size_t n = Length(text);
    Guarded([&] { text_.assign(text, n); });
    return *this;
}

WideString& WideString::Append(const char16_t* text) {
    size_t n = Length(text);
    Guarded([&] { text_.append(text, n); });
    return *this;
}

WideString& WideString::Append(const WideString& other) {
    Guarded([&] { text_.append(other.text_); });
    return *this;
}

WideString& WideString::Append(char16_t unit) {
    Guarded([&] { text_.push_back(unit); });
    return *this;
}

int WideString::Compare(const WideString& other) const {
    // char_traits<char16_t> compares as unsigned 16-bit values.
    int r = text_.compare(other.text_);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

ptrdiff_t WideString::Find(const char16_t* needle) const {
    size_t n = Length(needle);
    size_t at = text_.find(needle, 0, n);
    return at == std::u16string::npos ? -1 : static_cast<ptrdiff_t>(at);
}

ptrdiff_t WideString::FindLastBackslash() const {
    size_t at = text_.rfind(u'\\');
    return at == std::u16string::npos ? -1 : static_cast<ptrdiff_t>(at);
}

WideString WideString::Left(size_t count) const {
    if (count > text_.size()) RaiseFatalError(kExitInvalidArgument);
    WideString out;
    Guarded([&] { out.text_ = text_.substr(0, count); });
    return out;
}

WideString WideString::Right(size_t count) const {
    if (count > text_.size()) RaiseFatalError(kExitInvalidArgument);
    WideString out;
    Guarded([&] { out.text_ = text_.substr(text_.size() - count); });
    return out;
}

WideString WideString::Folder() const {
    ptrdiff_t slash = FindLastBackslash();
    return slash < 0 ? WideString() : Left(static_cast<size_t>(slash) + 1);
}

WideString WideString::FileName() const {
    ptrdiff_t slash = FindLastBackslash();
    return slash < 0 ? *this : Right(text_.size() - static_cast<size_t>(slash) - 1);
}

char16_t* WideString::Lend(size_t capacity) {
    Guarded([&] { text_.assign(capacity, u'\0'); });
    return &text_[0];
}

void WideString::Commit() {
    size_t end = text_.find(u'\0');
    if (end != std::u16string::npos) text_.resize(end);
}

void AppendUtf8(std::vector<char>& out, const WideString& text) {
    const std::u16string& s = text.str();
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

WideString FromUtf8(const char* text, size_t size) {
    std::u16string out;
    for (size_t i = 0; i < size;) {
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
        for (size_t k = 0; k < extra && i < size; ++k, ++i)
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

WideString operator+(WideString left, const WideString& right) {
    left.Append(right);
    return left;
}

}  // namespace qv
