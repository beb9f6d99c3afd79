#include "common/Log.h"

namespace qv {

WideString Decimal(uint32_t value) {
    char16_t digits[10];
    size_t at = sizeof(digits) / sizeof(digits[0]);
    do {
        digits[--at] = static_cast<char16_t>(u'0' + value % 10);
        value /= 10;
    } while (value != 0);
    return WideString(digits + at, sizeof(digits) / sizeof(digits[0]) - at);
}

LogPiece::LogPiece(const char* text) : ascii(text), size(std::char_traits<char>::length(text)) {}

LogPiece::LogPiece(const char16_t* text)
    : wide(text), size(std::char_traits<char16_t>::length(text)) {}

WideString Joined(LogLine line) {
    std::u16string text;
    for (const LogPiece& piece : line) {
        if (piece.wide != nullptr) {
            text.append(piece.wide, piece.size);
        } else {
            text.append(piece.ascii, piece.ascii + piece.size);
        }
    }
    return WideString(std::move(text));
}

void Log::Info(LogLine line) {
    Write(Severity::kInfo, line);
}
void Log::Warning(LogLine line) {
    Write(Severity::kWarning, line);
}
void Log::Error(LogLine line) {
    Write(Severity::kError, line);
}
void Log::Error(LogLine line, uint32_t code) {
    Write(Severity::kError, line, &code);
}

void Log::Write(Severity severity, LogLine line, const uint32_t* code) {
    static const char* const kWords[] = {"", "warning: ", "error: "};
    Add(severity, Joined({kWords[static_cast<int>(severity)], Joined(line)}), code);
}

WideString CodeText(uint32_t code) {
    if (code < 0x80000000u) return Decimal(code);
    WideString text(u"0x");
    AppendHex(text, code, 8, true);
    return text;
}

}  // namespace qv
