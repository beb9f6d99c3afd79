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

namespace {

bool EndsWithMsi(const WideString& name) {
    const std::u16string& s = name.str();
    if (s.size() < 4) return false;
    static const char16_t kExtension[] = u".msi";
    for (size_t i = 0; i < 4; ++i) {
        char16_t c = s[s.size() - 4 + i];
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

}  // namespace

uint32_t FindPackageBesideProgram(FileSystem& files, const WideString& pattern, WideString& path) {
    WideString folder = ProgramFolder(files);
    uint32_t error = 0;
    std::unique_ptr<DirectorySearch> search = files.FindFirst(folder + pattern + u"*.msi", error);
    if (!search) return error != 0 ? error : kErrorFileNotFound;
    // The search also matches 8.3 names ("notes.msix" is "NOTES~1.MSI") and folders.
    do {
        if (!search->IsDirectory() && EndsWithMsi(search->Name())) {
            path = folder + search->Name();
            return 0;
        }
    } while (search->Next());
    return kErrorFileNotFound;
}

WideString GetPlatformPattern(SystemInfo& system) {
    return WideString(system.IsWow64() ? u"*x64*" : u"*win32*");
}

}  // namespace qv
