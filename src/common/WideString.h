#pragma once
// The one text type: UTF-16 code units in char16_t on every platform.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/ExitCodes.h"

namespace qv {

// The only error the program raises: out of memory, or a string used out of its range. Nothing
// catches it, so it ends the process. Where exceptions are built in it is thrown as FatalError;
// setup.exe, built without them, ends at once with the code as its exit code.
[[noreturn]] void RaiseFatalError(ExitCode code);

class FatalError {
  public:
    explicit FatalError(ExitCode code) : code_(code) {}
    ExitCode Code() const { return code_; }

  private:
    ExitCode code_;
};

class WideString {
  public:
    WideString() = default;
    WideString(const char16_t* text);  // NOLINT: literals convert on purpose
    WideString(const char16_t* text, size_t length);
    explicit WideString(std::u16string text) : text_(std::move(text)) {}

    WideString& operator=(const char16_t* text);
    WideString& Append(const char16_t* text);
    WideString& Append(const WideString& other);
    WideString& Append(char16_t unit);
    WideString& operator+=(const WideString& other) { return Append(other); }
    WideString& operator+=(const char16_t* text) { return Append(text); }

    // Code unit by code unit, as unsigned 16-bit numbers: <0, 0 or >0.
    int Compare(const WideString& other) const;
    bool operator==(const WideString& other) const { return text_ == other.text_; }
    bool operator!=(const WideString& other) const { return text_ != other.text_; }

    // Index of the first occurrence, exact and case-sensitive, or -1.
    ptrdiff_t Find(const char16_t* needle) const;
    bool Contains(const char16_t* needle) const { return Find(needle) >= 0; }
    ptrdiff_t FindLastBackslash() const;
    WideString Left(size_t count) const;
    WideString Right(size_t count) const;
    // Text up to and including the last backslash; empty when there is none.
    WideString Folder() const;
    // Text after the last backslash; the whole text when there is none.
    WideString FileName() const;

    // Lends a zeroed writable buffer of `capacity` units (plus a terminator) to a Windows-shaped
    // call; Commit() then cuts the text at the first null.
    char16_t* Lend(size_t capacity);
    void Commit();

    const char16_t* c_str() const { return text_.c_str(); }
    size_t size() const { return text_.size(); }
    bool empty() const { return text_.empty(); }
    char16_t operator[](size_t i) const { return text_[i]; }
    const std::u16string& str() const { return text_; }
    operator std::u16string_view() const { return text_; }  // NOLINT: for the text helpers

  private:
    std::u16string text_;
};

WideString operator+(WideString left, const WideString& right);

// ASCII letters upper-cased, as Windows compares names; other units stay.
char16_t FoldCase(char16_t unit);
// Units alike, or in order, without case: for std::equal, std::search and the like.
bool SameWithoutCase(char16_t a, char16_t b);
bool BeforeWithoutCase(char16_t a, char16_t b);
bool EqualWithoutCase(std::u16string_view a, std::u16string_view b);
bool ContainsWithoutCase(std::u16string_view text, std::u16string_view part);

// `digits` hexadecimal digits of `value`, the letters upper case or lower.
void AppendHex(WideString& text, uint32_t value, int digits, bool upper);

// Appends the text's UTF-8 bytes (std::string's library instantiation would double the
// program's size).
void AppendUtf8(std::vector<char>& out, const WideString& text);

// UTF-8 bytes as text.
WideString FromUtf8(const char* bytes, size_t size);

// For tests and diagnostics; setup.exe never links them (std::string's library instantiation
// would pull in exceptions and double the program).
std::string ToUtf8(const WideString& text);
WideString FromUtf8(const std::string& text);

}  // namespace qv
