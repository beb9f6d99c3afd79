#include "packages/ProductCodes.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "packages/FileLookup.h"
#include "packages/InstallerStrings.h"

namespace qv {

uint32_t GetRelatedProductCode(Installer& installer, const WideString& upgradeCode,
                               WideString& code) {
    WideString found;
    uint32_t status =
        installer.EnumRelatedProducts(upgradeCode.c_str(), 0, found.Lend(kProductCodeBuffer));
    found.Commit();
    if (status == 0) code = found;
    return status;
}

uint32_t GetPackageCode(Platform& platform, bool wantRelated, WideString& code) {
    WideString path;
    WideString pattern = GetPlatformPattern(platform.system) + u"*.msi";
    uint32_t status = FindFileBesideProgram(platform.files, pattern, path);
    if (status != 0) return status;

    MsiHandleHolder package(platform.installer);
    status = platform.installer.OpenPackageEx(path.c_str(), kMsiOpenPackageIgnoreMachineState,
                                              package.put());
    if (status != 0) return status;

    if (wantRelated) {
        WideString upgradeCode;
        ReadPackageProperty(platform.installer, package.get(), u"UpgradeCode", upgradeCode);
        return GetRelatedProductCode(platform.installer, upgradeCode, code);
    }
    WideString productCode;
    status = ReadPackageProperty(platform.installer, package.get(), u"ProductCode", productCode);
    if (status != 0) return status;
    // A package that names no product cannot be installed; say so here rather than run on.
    if (productCode.empty()) return kExitPackageInvalid;
    code = productCode;
    return 0;
}

}  // namespace qv
