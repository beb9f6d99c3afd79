#include "packages/FileLookup.h"

#include "common/ResultCodes.h"

namespace qv {

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

WideString GetPlatformPattern(SystemInfo& system) {
    return WideString(system.IsWow64() ? u"*x64*" : u"*win32*");
}

}  // namespace qv
