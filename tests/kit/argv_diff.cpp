// Splits command lines with setup.exe's own splitter and with CommandLineToArgvW and prints every
// line they split differently: the fuzz seeds in the folders named on the command line, then
// generated lines over the characters the rules are about. Exits 1 when any line differs.
#include <cstdio>
#include <string>
#include <vector>

// Before <windows.h>, whose A/W macros would rename the seams' methods.
#include "driver/ParseOptions.h"
#include "fuzz/FuzzInput.h"

#include <windows.h>

#include <shellapi.h>

#include "kitio.h"

namespace qv {
[[noreturn]] void RaiseFatalError(ExitCode code) {
    ::ExitProcess(code);
}
}  // namespace qv

namespace {

std::vector<std::u16string> Windows(const std::u16string& line) {
    int count = 0;
    LPWSTR* list = CommandLineToArgvW(reinterpret_cast<const wchar_t*>(line.c_str()), &count);
    std::vector<std::u16string> out;
    for (int i = 0; list && i < count; ++i)
        out.emplace_back(reinterpret_cast<const char16_t*>(list[i]));
    LocalFree(list);
    return out;
}

bool Differs(const std::u16string& line) {
    std::vector<std::u16string> ours;
    for (const qv::WideString& a : qv::SplitCommandLine(qv::WideString(line)))
        ours.push_back(a.str());
    std::vector<std::u16string> theirs = Windows(line);
    // An empty line gives the program's own path as the first element.
    if (line.empty() && !theirs.empty()) theirs[0].clear();
    if (ours == theirs) return false;
    auto show = [](const char* label, const std::u16string& text) {
        kit_out(label ? L" [" : L"[");
        kit_out(reinterpret_cast<const wchar_t*>(text.c_str()));
        kit_out(L"]");
    };
    show(nullptr, line);
    kit_out(L"\n  ours:   ");
    for (const auto& a : ours) show("", a);
    kit_out(L"\n  theirs: ");
    for (const auto& a : theirs) show("", a);
    kit_out(L"\n");
    return true;
}

std::u16string Seed(const wchar_t* path) {
    std::string bytes;
    if (FILE* f = _wfopen(path, L"rb")) {
        for (int c; (c = fgetc(f)) != EOF;) bytes += static_cast<char>(c);
        fclose(f);
    }
    std::u16string units =
        qv::fuzz::Units(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return units.substr(0, units.find(u'\0'));  // a command line ends at its first null
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    int differences = 0, lines = 0;
    for (int i = 1; i < argc; ++i) {
        std::wstring folder = std::wstring(argv[i]) + L"\\";
        WIN32_FIND_DATAW entry;
        HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
        for (BOOL more = search != INVALID_HANDLE_VALUE; more;
             more = FindNextFileW(search, &entry)) {
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
            differences += Differs(Seed((folder + entry.cFileName).c_str()));
            ++lines;
        }
        if (search != INVALID_HANDLE_VALUE) FindClose(search);
    }
    const char16_t alphabet[] = u"ab \t\"\\";
    unsigned state = 12345;
    for (int n = 0; n < 50000; ++n, ++lines) {
        std::u16string line;
        state = state * 1103515245u + 12345u;
        for (unsigned length = (state >> 16) % 16; length > 0; --length) {
            state = state * 1103515245u + 12345u;
            line += alphabet[(state >> 16) % 6];
        }
        differences += Differs(line);
    }
    wchar_t summary[96];
    swprintf(summary, 96, L"%d lines compared, %d split differently\n", lines, differences);
    kit_out(summary);
    return differences != 0;
}
