#include "driver/SetupLog.h"

#include "common/ResultCodes.h"

namespace qv {
namespace {

// Names tried after the first when the default one is taken, before the log is given up.
constexpr unsigned kMoreNames = 99;

void AppendPadded(WideString& text, unsigned value, size_t width) {
    WideString digits = Decimal(value);
    for (size_t i = digits.size(); i < width; ++i) text.Append(u'0');
    text.Append(digits);
}

// "2026-12-07 14:03:59.120 "
WideString Timestamp(const LocalTime& t) {
    WideString text;
    AppendPadded(text, t.year, 4);
    text.Append(u'-');
    AppendPadded(text, t.month, 2);
    text.Append(u'-');
    AppendPadded(text, t.day, 2);
    text.Append(u' ');
    AppendPadded(text, t.hour, 2);
    text.Append(u':');
    AppendPadded(text, t.minute, 2);
    text.Append(u':');
    AppendPadded(text, t.second, 2);
    text.Append(u'.');
    AppendPadded(text, t.milliseconds, 3);
    text.Append(u' ');
    return text;
}

// UTF-8, one fact a line: line breaks inside a text become blanks.
void AppendText(std::vector<char>& out, const WideString& text) {
    size_t start = out.size();
    AppendUtf8(out, text);
    for (size_t i = start; i < out.size(); ++i)
        if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
}

bool NameTaken(uint32_t error) {
    return error == kErrorFileExists || error == kErrorAlreadyExists;
}

}  // namespace

WideString DefaultLogName(const LocalTime& t, unsigned suffix) {
    WideString name(u"QuorvaneSetup_");
    AppendPadded(name, t.year, 4);
    AppendPadded(name, t.month, 2);
    AppendPadded(name, t.day, 2);
    name.Append(u'_');
    AppendPadded(name, t.hour, 2);
    AppendPadded(name, t.minute, 2);
    AppendPadded(name, t.second, 2);
    if (suffix != 0) {
        name.Append(u'_');
        name.Append(Decimal(suffix));
    }
    name.Append(u".log");
    return name;
}

WideString SetupLog::Open(const WideString& path) {
    uint32_t error = 0;
    if (!path.empty()) {
        file_ = files_.CreateLogFile(path, true, error);
        return file_ ? path : WideString();
    }
    // The temporary folder may be others' to write in: a name is only ever taken new.
    WideString folder = system_.GetTempFolder();
    if (folder.empty()) return WideString();
    LocalTime now = system_.GetLocalTime();
    for (unsigned suffix = 0; suffix <= kMoreNames; ++suffix) {
        WideString candidate = folder + DefaultLogName(now, suffix);
        file_ = files_.CreateLogFile(candidate, false, error);
        if (file_) return candidate;
        if (!NameTaken(error)) break;
    }
    return WideString();
}

void SetupLog::Write(const char16_t* word, LogLine pieces, const WideString& more) {
    if (!file_) return;
    std::vector<char> line;
    AppendText(line, Timestamp(system_.GetLocalTime()));
    AppendText(line, WideString(word));
    AppendText(line, Joined(pieces));
    AppendText(line, more);
    line.push_back('\r');
    line.push_back('\n');
    // A full disk or a share gone away: the run goes on without its log.
    if (!file_->Write(line.data(), line.size())) file_.reset();
}

void SetupLog::Info(LogLine line) { Write(u"", line); }
void SetupLog::Warning(LogLine line) { Write(u"warning: ", line); }
void SetupLog::Error(LogLine line) { Write(u"error: ", line); }

void SetupLog::Error(LogLine line, uint32_t code) {
    WideString description = system_.DescribeError(code);
    Write(u"error: ", line,
          u" (" + CodeText(code) + u")" + (description.empty() ? u"" : u": ") + description);
}

}  // namespace qv
