#pragma once
// Reads the program's folder.
#include <cstdint>
#include <vector>

#include "common/WideString.h"
#include "model/KitFolder.h"
#include "platform/FileSystem.h"

namespace qv {

// The running program's folder with its trailing backslash; empty when the path has none.
WideString ProgramFolder(FileSystem& files);

// Lists the program's folder once. Names are ordered without case, whatever order the file
// system lists them in (NTFS sorts, FAT and many shares do not).
KitFolder ReadKitFolder(FileSystem& files);

// The certificate files among `names`, in name order by kind (".cer", ".p7b", ".crt"); with
// `lookalikes`, the names with such an extension inside are added to it.
std::vector<WideString> CertificateFiles(const std::vector<WideString>& names,
                                         std::vector<WideString>* lookalikes = nullptr);

}  // namespace qv
