#include <algorithm>
#include <cstdio>

#include "fakes/Fakes.h"

namespace qv::fakes {

std::u16string Fold(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
            (c >= 0x430 && c <= 0x44F)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c >= 0x450 && c <= 0x45F) {  // ё and the other Cyrillic extensions
            c = static_cast<char16_t>(c - 0x50);
        }
    }
    return out;
}

bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name) {
    std::u16string p = Fold(pattern), n = Fold(name);
    // Greedy match with backtracking to the last star: linear enough for file names.
    size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

size_t CallLog::Count(std::string_view prefix) const {
    return std::count_if(calls.begin(), calls.end(), [&](const std::string& call) {
        return std::string_view(call).substr(0, prefix.size()) == prefix;
    });
}

void Faults::FailNext(const std::string& method, uint32_t code, unsigned skip) {
    faults_[method].push_back({skip, code});
}

std::optional<uint32_t> Faults::Take(const std::string& method) {
    auto it = faults_.find(method);
    if (it == faults_.end() || it->second.empty()) return std::nullopt;
    Fault& next = it->second.front();
    if (next.skip > 0) {
        --next.skip;
        return std::nullopt;
    }
    uint32_t code = next.code;
    it->second.pop_front();
    return code;
}

size_t Faults::Pending() const {
    size_t n = 0;
    for (const auto& [method, queue] : faults_) n += queue.size();
    return n;
}

std::string FakePlatform::Leaks() const {
    std::string out;
    auto note = [&](const char* what, size_t count) {
        if (count != 0)
            out += std::string(out.empty() ? "" : ", ") + what + " " + std::to_string(count);
    };
    note("installer handles", installer.OpenHandleCount());
    note("directory searches", files.OpenSearches());
    note("child processes", processes.OpenChildren());
    note("instance locks", processes.HeldLocks());
    note("certificate stores", certificates.OpenStores());
    note("icons", ui.lastDialog ? ui.lastDialog->LiveIcons() : 0);
    note("unused installer faults", installer.faults.Pending());
    note("unused registry faults", registry.faults.Pending());
    return out;
}

bool FakeLog::Has(std::string_view part) const {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

void FakeLog::Info(LogLine line) {
    lines.push_back(ToUtf8(Joined(line)));
}
void FakeLog::Warning(LogLine line) {
    lines.push_back("warning: " + ToUtf8(Joined(line)));
}
void FakeLog::Error(LogLine line) {
    lines.push_back("error: " + ToUtf8(Joined(line)));
}
void FakeLog::Error(LogLine line, uint32_t code) {
    lines.push_back("error: " + ToUtf8(Joined(line)) + " (" + ToUtf8(CodeText(code)) + ")");
}

}  // namespace qv::fakes
