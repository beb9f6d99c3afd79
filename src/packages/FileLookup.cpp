#include "packages/FileLookup.h"

#include "common/ResultCodes.h"

namespace qv {

Wow64Probe& ProcessWow64Probe() {
    static Wow64Probe probe;
    return probe;
}

WideString ProgramFolder(FileSystem& files) {
    // A fixed buffer would cut a long path short and search the wrong folder: grow until it fits.
    WideString path;
    for (uint32_t size = 260;; size *= 2) {
        uint32_t copied = files.GetModuleFileName(path.Lend(size), size);
        if (copied < size || size >= 0x8000u * 4) break;
    }
    path.Commit();
    return path.Folder();
}

uint32_t FindFileBesideProgram(FileSystem& files, const WideString& pattern, WideString& path) {
    WideString folder = ProgramFolder(files);
    uint32_t error = 0;
    std::unique_ptr<DirectorySearch> search = files.FindFirst(folder + pattern, error);
    if (!search) return error != 0 ? error : kErrorFileNotFound;
    path = folder + search->Name();
    return 0;
}

WideString GetPlatformPattern(SystemInfo& system, Wow64Probe& probe) {
    const WideString win32(u"*win32*");
    if (!probe.resolved) {
        ModuleHandle kernel = system.GetModuleHandle(u"kernel32");
        if (kernel == 0) return win32;
        probe.entry = system.GetProcAddress(kernel, "IsWow64Process");
        probe.resolved = true;
    }
    if (probe.entry == 0) return win32;
    bool wow64 = false;
    if (!system.CallIsWow64Process(probe.entry, wow64) || !wow64) return win32;
    return WideString(u"*x64*");
}

}  // namespace qv
