#pragma once
// What setup.exe saw and decided, a line a fact, for the administrator who must find out why a
// run on one machine of thousands went as it did. Writing the log never fails or stops a run.
#include <cstdint>
#include <initializer_list>
#include <string>

#include "common/WideString.h"

namespace qv {

// A piece of a log line, borrowed for the call. A line is written as its pieces, {"package ",
// path, " chosen"}, which keeps each call site small. The program's own words are ASCII
// literals, half the size of UTF-16 ones; the values are UTF-16.
struct LogPiece {
    LogPiece(const char* text);
    LogPiece(const char16_t* text);
    LogPiece(const WideString& text) : wide(text.c_str()), size(text.size()) {}

    const char* ascii = nullptr;
    const char16_t* wide = nullptr;
    size_t size;
};
using LogLine = std::initializer_list<LogPiece>;

enum class Severity : uint8_t { kInfo, kWarning, kError };

class Log {
  public:
    virtual ~Log() = default;
    void Info(LogLine line);
    // The line starts with "warning: ", which log viewers colour.
    void Warning(LogLine line);
    // The line starts with "error: ", which log viewers colour.
    void Error(LogLine line);
    // An error with its Windows or installer code, and Windows' own text for the code.
    void Error(LogLine line, uint32_t code);
    // Every line comes here, and gets its severity's word first.
    void Write(Severity severity, LogLine line, const uint32_t* code = nullptr);

    // The line as written, with its word; `code` (null: none) is each log's to add.
    virtual void Add(Severity severity, const WideString& text, const uint32_t* code) = 0;
};

// 1603; codes from 0x80000000 on in hexadecimal, as Windows writes HRESULTs: 0x8007000E.
WideString CodeText(uint32_t code);
WideString Decimal(uint32_t value);
// The pieces as one text.
WideString Joined(LogLine line);

}  // namespace qv
