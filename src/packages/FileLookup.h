#pragma once
#include <cstdint>

#include "common/WideString.h"
#include "platform/FileSystem.h"
#include "platform/SystemInfo.h"

namespace qv {

// The running program's folder with its trailing backslash; empty when the path has none.
WideString ProgramFolder(FileSystem& files);

// The first package beside the program whose name matches `pattern`: a file, not a folder, whose
// long name ends in ".msi". Answers 0, or the search's error (2 for no match).
uint32_t FindPackageBesideProgram(FileSystem& files, const WideString& pattern, WideString& path);

// "*x64*" under WOW64, else "*win32*".
WideString GetPlatformPattern(SystemInfo& system);

}  // namespace qv
