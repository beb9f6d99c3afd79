#include "common/WideString.h"

#include <new>
#include <stdexcept>

namespace qv {
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

WideString operator+(WideString left, const WideString& right) {
    left.Append(right);
    return left;
}

}  // namespace qv
