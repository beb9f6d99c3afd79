#include "packages/PackageIdentity.h"

#include "common/ExitCodes.h"
#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"

namespace qv {

const char16_t kIdentityQuery[] =
    u"SELECT `Property`, `Value` FROM `Property` WHERE `Property`='ProductCode' OR "
    u"`Property`='UpgradeCode' OR `Property`='ProductVersion' OR `Property`='ProductName'";

namespace {

// Each row of the query is a property's name and value.
uint32_t ReadRows(Installer& installer, MsiHandle view, PackageIdentity& read) {
    for (;;) {
        MsiHandleHolder record(installer);
        uint32_t status = installer.ViewFetch(view, record.put());
        if (status == kErrorNoMoreItems) return 0;
        WideString name, value;
        if (status == 0) status = ReadRecordString(installer, record.get(), 1, name);
        if (status == 0) status = ReadRecordString(installer, record.get(), 2, value);
        if (status != 0) return status;
        if (name == WideString(u"ProductCode")) read.productCode = value;
        if (name == WideString(u"UpgradeCode")) read.upgradeCode = value;
        if (name == WideString(u"ProductVersion")) read.version = value;
        if (name == WideString(u"ProductName")) read.name = value;
    }
}

}  // namespace

uint32_t ReadPackageIdentity(Installer& installer, const WideString& path,
                             PackageIdentity& identity) {
    // Read as a database, not opened as an installer session: the same values, sooner.
    MsiHandleHolder database(installer);
    uint32_t status = installer.OpenDatabase(path.c_str(), kMsiDbOpenReadOnly, database.put());
    MsiHandleHolder view(installer);
    if (status == 0)
        status = installer.DatabaseOpenView(database.get(), kIdentityQuery, view.put());
    if (status == 0) status = installer.ViewExecute(view.get(), 0);
    PackageIdentity read;
    read.path = path;
    if (status == 0) status = ReadRows(installer, view.get(), read);
    if (status != 0) return status;
    // A package that names no product cannot be installed; say so here rather than run on.
    if (read.productCode.empty()) return kExitPackageInvalid;
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
