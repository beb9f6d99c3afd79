#pragma once
// The files beside the program that a run may use: its packages and its certificate files.
#include <cstdint>
#include <vector>

#include "common/WideString.h"
#include "packages/Choices.h"
#include "platform/FileSystem.h"

namespace qv {

struct KitFolder {
    WideString folder;                     // the program's folder, with its backslash
    uint32_t error = 0;                    // the listing's error; 0 when it was listed
    std::vector<WideString> packages;      // names ending in ".msi", in name order
    std::vector<WideString> certificates;  // names ending in ".cer", ".p7b", ".crt", by kind
    std::vector<WideString> lookalikes;    // names with such an extension inside: ignored
};

// The running program's folder with its trailing backslash; empty when the path has none.
WideString ProgramFolder(FileSystem& files);

// Lists the program's folder once. Names are ordered without case, whatever order the file
// system lists them in (NTFS sorts, FAT and many shares do not).
KitFolder ReadKitFolder(FileSystem& files);

// The certificate files among `names`, in name order by kind (".cer", ".p7b", ".crt"); with
// `lookalikes`, the names with such an extension inside are added to it.
std::vector<WideString> CertificateFiles(const std::vector<WideString>& names,
                                         std::vector<WideString>* lookalikes = nullptr);

// The first package whose name matches the pattern, as its full path; empty when none does.
WideString FindPackage(const KitFolder& kit, const WideString& pattern);

// Whether the kit is built per KC level: a package names "kc1".
bool HoldsPerLevelPackages(const KitFolder& kit);

// Which search found the package to install.
enum class FoundBy : uint8_t {
    kLevelAndLanguage,
    kLanguageAlone,  // the level left out: none was chosen, or the kit has no level packages
    kLevelAlone,     // another language of the level chosen
    kPlatformAlone,
    kNothing,
};

struct PackageChoice {
    WideString path;  // empty when nothing matched
    FoundBy foundBy = FoundBy::kNothing;
};

// The package for platform, level and language. A level chosen from a kit built per level is
// never replaced: only its language may fall back. Otherwise the search falls back to the
// language alone, then to the platform alone.
PackageChoice ChoosePackage(const KitFolder& kit, Architecture architecture,
                            const Selection& selection);

}  // namespace qv
