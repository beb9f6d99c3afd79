// msi.dll, loaded from the system directory on first use.

#include <string>

#include "common/ResultCodes.h"
#include "platform/win32/SystemApis.h"
#include "platform/win32/Win32Platform.h"

namespace qv::win32 {
namespace {

const wchar_t kIdentityQuery[] =
    L"SELECT `Property`, `Value` FROM `Property` WHERE `Property`='ProductCode' OR "
    L"`Property`='UpgradeCode' OR `Property`='ProductVersion' OR `Property`='ProductName'";
const wchar_t kRemovalActionsQuery[] =
    L"SELECT `Action`, `Condition` FROM `InstallExecuteSequence` WHERE `Action`='KSProcess' OR "
    L"`Action`='KSProcess64'";
const wchar_t kCabinetsQuery[] = L"SELECT `Cabinet`, `DiskId` FROM `Media`";
const wchar_t kFilesQuery[] = L"SELECT `File`, `Attributes` FROM `File`";
const wchar_t kConditionUpdate[] =
    L"UPDATE `InstallExecuteSequence` SET `Condition`=? WHERE `Action`=?";

// The installer keeps a package's path in a MAX_PATH buffer (Wine's overruns it): refused
// instead.
bool TooLong(const WideString& path) {
    return path.size() >= MAX_PATH;
}

UINT RecordString(MSIHANDLE record, UINT field, WideString& value) {
    return ReadGrowing(value, [&](wchar_t* buffer, DWORD* size) {
        return msi().MsiRecordGetStringW(record, field, buffer, size);
    });
}

// Opens the database and runs `query`, a SELECT of two string columns: its rows.
UINT QueryPairs(const WideString& path, const wchar_t* query,
                std::vector<SequenceCondition>& rows) {
    if (TooLong(path)) return kErrorFilenameExcedRange;
    UniqueMsiHandle database, view;
    UINT r = msi().MsiOpenDatabaseW(AsWide(path), MSIDBOPEN_READONLY, database.put());
    if (r == ERROR_SUCCESS) r = msi().MsiDatabaseOpenViewW(database.get(), query, view.put());
    if (r == ERROR_SUCCESS) r = msi().MsiViewExecute(view.get(), 0);
    while (r == ERROR_SUCCESS) {
        UniqueMsiHandle record;
        r = msi().MsiViewFetch(view.get(), record.put());
        if (r == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        SequenceCondition row;
        if (r == ERROR_SUCCESS) r = RecordString(record.get(), 1, row.action);
        if (r == ERROR_SUCCESS) r = RecordString(record.get(), 2, row.condition);
        if (r == ERROR_SUCCESS) rows.push_back(row);
    }
    return r;
}

ReadStatus Status(UINT code, ReadStep step) {
    return {code, step};
}

}  // namespace

void LeaveApartment(bool) {
    ole32().CoUninitialize();
}

// The installer's API asks for COM on the calling thread, which shows windows: an apartment,
// entered before the first call and left with the adapter.
Msi& Win32Installer::Api() {
    if (!apartmentEntered_) {
        apartmentEntered_ = true;
        apartment_.reset(SUCCEEDED(ole32().CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    }
    return msi();
}

void Win32Installer::DisableInternalUi() {
    Api().MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
}

uint32_t Win32Installer::ReadPackageIdentity(const WideString& path, PackageIdentity& identity) {
    // Read as a database, not opened as an installer session: the same values, sooner.
    Api();
    std::vector<SequenceCondition> properties;
    UINT r = QueryPairs(path, kIdentityQuery, properties);
    if (r != ERROR_SUCCESS) return r;
    PackageIdentity read;
    read.path = path;
    static const char16_t* const kNames[] = {u"ProductCode", u"UpgradeCode", u"ProductVersion",
                                             u"ProductName"};
    WideString* const values[] = {&read.productCode, &read.upgradeCode, &read.version, &read.name};
    for (const SequenceCondition& property : properties)
        for (int i = 0; i < 4; ++i)
            if (property.action == WideString(kNames[i])) *values[i] = property.condition;
    // A package that names no product cannot be installed; say so here rather than run on.
    if (read.productCode.empty()) return ERROR_INSTALL_PACKAGE_INVALID;
    identity = read;
    return ERROR_SUCCESS;
}

uint32_t Win32Installer::ReadPackageCode(const WideString& path, WideString& code) {
    UniqueMsiHandle summary;
    UINT r = Api().MsiGetSummaryInformationW(0, AsWide(path), 0, summary.put());
    if (r != ERROR_SUCCESS) return r;
    return ReadGrowing(code, [&](wchar_t* buffer, DWORD* size) {
        UINT type = 0;
        return msi().MsiSummaryInfoGetPropertyW(summary.get(), PID_REVNUMBER, &type, nullptr,
                                                nullptr, buffer, size);
    });
}

std::vector<WideString> Win32Installer::RelatedProducts(const WideString& upgradeCode) {
    std::vector<WideString> codes;
    for (DWORD i = 0;; ++i) {
        WideString code;
        if (Api().MsiEnumRelatedProductsW(AsWide(upgradeCode), 0, i, AsWide(code.Lend(38))) !=
            ERROR_SUCCESS)
            return codes;
        code.Commit();
        codes.push_back(code);
    }
}

bool Win32Installer::IsInstalled(const WideString& product) {
    return Api().MsiQueryProductStateW(AsWide(product)) == INSTALLSTATE_DEFAULT;
}

ReadStatus Win32Installer::ProductInfo(const WideString& product, const char16_t* attribute,
                                       WideString& value) {
    bool first = true;
    UINT r = ReadGrowing(
        value,
        [&](wchar_t* buffer, DWORD* size) {
            return Api().MsiGetProductInfoW(AsWide(product), AsWide(attribute), buffer, size);
        },
        true, &first);
    return Status(r, first ? ReadStep::kLength : ReadStep::kValue);
}

ReadStatus Win32Installer::ReadReleaseProperties(const WideString& package,
                                                 ReleaseProperties& properties) {
    if (TooLong(package)) return Status(kErrorFilenameExcedRange, ReadStep::kOpen);
    UniqueMsiHandle session;
    UINT r = Api().MsiOpenPackageExW(AsWide(package), MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE,
                                     session.put());
    if (r != ERROR_SUCCESS) return Status(r, ReadStep::kOpen);
    auto property = [&](const wchar_t* name, WideString& value) {
        return ReadGrowing(value, [&](wchar_t* buffer, DWORD* size) {
            return msi().MsiGetPropertyW(session.get(), name, buffer, size);
        });
    };
    if ((r = property(L"ISReleaseFlags", properties.releaseFlags)) != ERROR_SUCCESS)
        return Status(r, ReadStep::kReleaseFlags);
    return Status(property(L"ProductLanguage", properties.productLanguage),
                  ReadStep::kProductLanguage);
}

uint32_t Win32Installer::ReadSourceList(const WideString& product, SourceList& sources) {
    UINT r = ReadGrowing(
        sources.packageName,
        [&](wchar_t* buffer, DWORD* size) {
            return Api().MsiSourceListGetInfoW(AsWide(product), nullptr, MSIINSTALLCONTEXT_MACHINE,
                                               MSICODE_PRODUCT, L"PackageName", buffer, size);
        },
        true);
    if (r != ERROR_SUCCESS) return r;
    sources.networkSources.clear();
    sources.unread = 0;
    for (DWORD i = 0;; ++i) {
        WideString source;
        r = ReadGrowing(source, [&](wchar_t* buffer, DWORD* size) {
            return msi().MsiSourceListEnumSourcesW(
                AsWide(product), nullptr, MSIINSTALLCONTEXT_MACHINE,
                MSICODE_PRODUCT | MSISOURCETYPE_NETWORK, i, buffer, size);
        });
        if (r == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (r == ERROR_SUCCESS) {
            sources.networkSources.push_back(source);
            continue;
        }
        // One that keeps growing is skipped; any other failure ends the list where it is.
        if (!sources.unread) sources.unread = r;
        if (r != ERROR_MORE_DATA) return ERROR_SUCCESS;
    }
}

uint32_t Win32Installer::PointSourceList(const WideString& product, const WideString& packageName) {
    Api().MsiSourceListClearAllW(AsWide(product), nullptr, 0);
    return msi().MsiSourceListSetInfoW(AsWide(product), nullptr, MSIINSTALLCONTEXT_MACHINE,
                                       MSICODE_PRODUCT, L"PackageName", AsWide(packageName));
}

uint32_t Win32Installer::RestoreSourceList(const WideString& product, const SourceList& sources) {
    SourceList now;
    ReadSourceList(product, now);
    for (const WideString& source : sources.networkSources) {
        bool present = false;
        for (const WideString& kept : now.networkSources) present = present || kept == source;
        if (!present)
            msi().MsiSourceListAddSourceExW(AsWide(product), nullptr, MSIINSTALLCONTEXT_MACHINE,
                                            MSICODE_PRODUCT | MSISOURCETYPE_NETWORK, AsWide(source),
                                            0);
    }
    return msi().MsiSourceListSetInfoW(AsWide(product), nullptr, MSIINSTALLCONTEXT_MACHINE,
                                       MSICODE_PRODUCT, L"PackageName",
                                       AsWide(sources.packageName));
}

uint32_t Win32Installer::ReadPackageSources(const WideString& package,
                                            std::vector<WideString>& names, WideString& looseFile) {
    Api();
    std::vector<SequenceCondition> rows;
    UINT r = QueryPairs(package, kCabinetsQuery, rows);
    for (const SequenceCondition& row : rows)
        if (!row.action.empty() && row.action[0] != u'#') names.push_back(row.action);
    UniqueMsiHandle summary;
    UINT type = 0;
    INT words = 0;
    if (r == ERROR_SUCCESS)
        r = msi().MsiGetSummaryInformationW(0, AsWide(package), 0, summary.put());
    if (r == ERROR_SUCCESS)
        r = msi().MsiSummaryInfoGetPropertyW(summary.get(), PID_WORDCOUNT, &type, &words, nullptr,
                                             nullptr, nullptr);
    rows.clear();
    if (r == ERROR_SUCCESS) r = QueryPairs(package, kFilesQuery, rows);
    for (const SequenceCondition& row : rows) {
        // An integer column reads as its decimal digits.
        unsigned attributes = 0;
        for (char16_t digit : row.condition.str()) attributes = attributes * 10 + (digit - u'0');
        bool loose = (attributes & msidbFileAttributesNoncompressed) ||
                     (!(attributes & msidbFileAttributesCompressed) && !(words & 2));
        if (loose && looseFile.empty()) looseFile = row.action;
    }
    return r;
}

uint32_t Win32Installer::ReadRemovalActions(const WideString& package,
                                            std::vector<SequenceCondition>& rows) {
    Api();
    rows.clear();
    return QueryPairs(package, kRemovalActionsQuery, rows);
}

uint32_t Win32Installer::WriteConditions(const WideString& package,
                                         const std::vector<SequenceCondition>& rows) {
    if (TooLong(package)) return kErrorFilenameExcedRange;
    UniqueMsiHandle database, view, record;
    UINT r = Api().MsiOpenDatabaseW(AsWide(package), MSIDBOPEN_TRANSACT, database.put());
    if (r == ERROR_SUCCESS)
        r = msi().MsiDatabaseOpenViewW(database.get(), kConditionUpdate, view.put());
    record.reset(msi().MsiCreateRecord(2));
    for (const SequenceCondition& row : rows) {
        if (r != ERROR_SUCCESS) break;
        msi().MsiRecordSetStringW(record.get(), 1, AsWide(row.condition));
        msi().MsiRecordSetStringW(record.get(), 2, AsWide(row.action));
        r = msi().MsiViewExecute(view.get(), record.get());
        msi().MsiViewClose(view.get());
    }
    // Without the commit the transacted database drops the change when it is closed.
    return r == ERROR_SUCCESS ? msi().MsiDatabaseCommit(database.get()) : r;
}

int Win32Installer::ComponentPath(const WideString& product, const char16_t* component,
                                  WideString& path) {
    INSTALLSTATE state = INSTALLSTATE_UNKNOWN;
    ReadGrowing(path, [&](wchar_t* buffer, DWORD* size) -> UINT {
        state = Api().MsiGetComponentPathW(AsWide(product), AsWide(component), buffer, size);
        if (state == INSTALLSTATE_MOREDATA) return ERROR_MORE_DATA;
        *size = 0;  // the text ends at its terminator; a state without a path writes none
        return ERROR_SUCCESS;
    });
    return state;
}

}  // namespace qv::win32
