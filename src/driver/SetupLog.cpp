#include "driver/SetupLog.h"

#include "common/ResultCodes.h"
#include "detect/Detect.h"

namespace qv {
namespace {

// Names tried after the first when the default one is taken, before the log is given up.
constexpr unsigned kMoreNames = 99;

// The time's fields zero-padded, each followed by its separator (0: none), the milliseconds
// only where a separator follows them.
WideString TimeText(const LocalTime& t, const char16_t (&separators)[7]) {
    const struct {
        unsigned value, width;
    } fields[] = {{t.year, 4},   {t.month, 2},  {t.day, 2},         {t.hour, 2},
                  {t.minute, 2}, {t.second, 2}, {t.milliseconds, 3}};
    WideString text;
    for (size_t i = 0; i < 7; ++i) {
        if (i == 6 && separators[6] == 0) break;
        WideString digits = Decimal(fields[i].value);
        for (size_t n = digits.size(); n < fields[i].width; ++n) text.Append(u'0');
        text.Append(digits);
        if (separators[i] != 0) text.Append(separators[i]);
    }
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

WideString LogName(const WideString& computer, const LocalTime& t, unsigned suffix) {
    WideString name(u"QuorvaneSetup_");
    if (!computer.empty()) name.Append(computer).Append(u'_');
    name.Append(TimeText(t, {0, 0, u'_', 0, 0, 0, 0}));
    if (suffix != 0) {
        name.Append(u'_');
        name.Append(Decimal(suffix));
    }
    name.Append(u".log");
    return name;
}

WideString DefaultLogFolder(SystemInfo& system) {
    if (!system.IsLocalSystem()) return system.TempFolder();
    WideString windows = system.WindowsDirectory();
    return windows.empty() ? windows : Joined({windows, "\\Logs\\"});
}

WideString SetupLog::CreateNew(const WideString& folder, const WideString& computer,
                               const char16_t* security, uint32_t& error) {
    LocalTime now = system_.Now();
    for (unsigned suffix = 0; suffix <= kMoreNames; ++suffix) {
        WideString candidate = folder + LogName(computer, now, suffix);
        file_ = files_.CreateLogFile(candidate, false, security, error);
        if (file_) return candidate;
        if (!NameTaken(error)) break;
    }
    return WideString();
}

WideString SetupLog::Open(const WideString& path, uint32_t& refused, bool keep) {
    uint32_t error = 0;
    refused = 0;
    const char16_t* security = LogSecurity(system_);
    WideString folder = DefaultLogFolder(system_);
    // A share's root reads as no folder: its trailing backslash says so.
    bool slash = !path.empty() && path[path.size() - 1] == u'\\';
    collected = slash || (!path.empty() && files_.IsFolder(path));
    if (collected) {
        // Every machine writes there: a name is only ever taken new, and the folder's own
        // permissions decide who reads it.
        WideString created =
            CreateNew(slash ? path : path + u"\\", system_.ComputerName(), nullptr, error);
        // msiexec opens its log the ordinary way: in the default place, after this one.
        if (!created.empty()) {
            beside = folder.empty() ? folder : folder + created.FileName();
            return created;
        }
        refused = error;
    } else if (!path.empty()) {
        file_ = files_.CreateLogFile(path, !keep, security, error);
        if (file_) return beside = path;
        refused = error;
        if (keep && NameTaken(error)) folder = path.Folder();
    }
    // The temporary folder may be others' to write in: a name is only ever taken new.
    if (folder.empty()) return WideString();
    return beside = CreateNew(folder, {}, security, error);
}

void SetupLog::Add(Severity, const WideString& text, const uint32_t* code) {
    if (!file_) return;
    std::vector<char> line;
    AppendText(line, TimeText(system_.Now(), {u'-', u'-', u' ', u':', u':', u'.', u' '}));
    AppendText(line, text);
    if (code != nullptr) {
        WideString description = system_.DescribeError(*code);
        AppendText(line, Joined({" (", CodeText(*code), ")", description.empty() ? "" : ": ",
                                 description}));
    }
    line.push_back('\r');
    line.push_back('\n');
    // A full disk or a share gone away: the run goes on without its log.
    if (!file_->Write(line.data(), line.size())) file_.reset();
}

}  // namespace qv
