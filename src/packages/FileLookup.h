#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// Cached address of IsWow64Process: unresolved until "kernel32" is found, then absent or set.
struct Wow64Probe {
    bool resolved = false;
    ProcAddress entry = 0;
};

// The process-wide probe; tests reset it.
Wow64Probe& ProcessWow64Probe();

// The running program's folder with its trailing backslash; empty when the path has none.
WideString ProgramFolder(FileSystem& files);

// The first entry beside the program that matches `pattern`, as folder + long name.
// Answers 0, or the search's error (2 for no match) leaving `path` untouched.
uint32_t FindFileBesideProgram(FileSystem& files, const WideString& pattern, WideString& path);

// "*x64*" under WOW64, else "*win32*".
WideString GetPlatformPattern(SystemInfo& system, Wow64Probe& probe = ProcessWow64Probe());

}  // namespace qv
