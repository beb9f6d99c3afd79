#include "packages/PackageIdentity.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"

namespace qv {

uint32_t ReadPackageIdentity(Installer& installer, const WideString& path,
                             PackageIdentity& identity) {
    MsiHandleHolder package(installer);
    if (uint32_t status =
            installer.OpenPackageEx(path.c_str(), kMsiOpenPackageIgnoreMachineState, package.put()))
        return status;
    PackageIdentity read;
    read.path = path;
    if (uint32_t status =
            ReadPackageProperty(installer, package.get(), u"ProductCode", read.productCode))
        return status;
    // A package that names no product cannot be installed; say so here rather than run on.
    if (read.productCode.empty()) return kExitPackageInvalid;
    ReadPackageProperty(installer, package.get(), u"UpgradeCode", read.upgradeCode);
    read.versionStatus =
        ReadPackageProperty(installer, package.get(), u"ProductVersion", read.version);
    read.nameStatus = ReadPackageProperty(installer, package.get(), u"ProductName", read.name);
    identity = read;
    return 0;
}

uint32_t GetRelatedProductCode(Installer& installer, const WideString& upgradeCode,
                               WideString& code) {
    WideString found;
    uint32_t status =
        installer.EnumRelatedProducts(upgradeCode.c_str(), 0, found.Lend(kProductCodeBuffer));
    found.Commit();
    if (status == 0) code = found;
    return status;
}

}  // namespace qv
