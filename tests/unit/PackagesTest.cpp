#include <gtest/gtest.h>

#include "Kit.h"
#include "packages/FileLookup.h"
#include "packages/InstallerStrings.h"
#include "packages/KcLanguage.h"
#include "packages/PackageIdentity.h"
#include "packages/VersionCheck.h"

namespace qv::testing {
namespace {

// Only an .msi file is a package: a folder, a cabinet, a transform, a leftover or a readme named
// after the package is passed over, whatever the directory search returns first.
TEST(FindPackageBesideProgram, OnlyMsiFilesArePackages) {
    // clang-format off
    struct {
        const char* name;
        std::vector<fakes::FolderEntry> entries;
        const char16_t* pattern;
        uint32_t status;
        const char16_t* found;
    } cases[] = {
        {"tokens_in_order", {{u"setup_rus_kc1_x64.msi"}, {u"SETUP_X64_KC1_RUS.MSI"}},
         u"*x64**kc1**rus*", 0, u"C:\\Kit\\SETUP_X64_KC1_RUS.MSI"},
        {"look_alikes_first",
         {{u"qv_x64_kc1_eng.msi", true}, {u"qv_x64_kc1_eng-custom.mst"}, {u"qv_x64_kc1_eng.cab"}, {u"qv_x64_kc1_eng.msi.bak"}, {u"qv_x64_kc1_eng.msix", false, u"QV_X64~1.MSI"}, {u"qv_x64_kc1_eng.txt"}, {u"qv_x64_kc1_eng_.msi"}},
         u"*x64**kc1**eng*", 0, u"C:\\Kit\\qv_x64_kc1_eng_.msi"},
        {"only_look_alikes", {{u"qv_x64.msi", true}, {u"qv_x64.msix", false, u"QV_X64~1.MSI"}},
         u"*x64*", 2, u"untouched"},
        {"nothing_matches", {{u"qv_win32.msi"}}, u"*x64*", 2, u"untouched"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        for (const auto& e : c.entries) k.files.Add(u"C:\\Kit", e.name, e.directory, e.shortName);
        WideString path(u"untouched");
        EXPECT_EQ(FindPackageBesideProgram(k.files, WideString(c.pattern), path), c.status);
        EXPECT_EQ(path, WideString(c.found));
        EXPECT_EQ(k.Leaks(), "");
    }
}

TEST(FindPackageBesideProgram, LongProgramPathIsReadWhole) {
    Kit k;
    std::u16string folder = u"C:\\" + std::u16string(300, u'd');
    k.files.modulePath = WideString((folder + u"\\setup.exe").c_str());
    k.files.Add(folder, u"a_x64.msi");
    WideString path;
    EXPECT_EQ(FindPackageBesideProgram(k.files, WideString(u"*x64*"), path), 0u);
    EXPECT_EQ(path.str(), folder + u"\\a_x64.msi");
}

TEST(FindPackageBesideProgram, PathWithoutBackslashSearchesTheCurrentDirectory) {
    Kit k;
    k.files.modulePath = u"setup.exe";
    k.files.Add(u"C:\\Kit", u"a_x64.msi");
    WideString path;
    EXPECT_EQ(FindPackageBesideProgram(k.files, WideString(u"*x64*"), path), 0u);
    EXPECT_EQ(path, WideString(u"a_x64.msi"));
}

// One read-only open of the package answers all four, or the first failing call's code.
TEST(ReadPackageIdentity, OneOpenReadsAllFour) {
    // clang-format off
    struct {
        const char* name;
        const char* fault;
        unsigned skip;
        uint32_t result;
    } cases[] = {
        {"all_read", nullptr, 0, 0},
        {"open_fails", "OpenDatabase", 0, 1619},
        {"view_fails", "DatabaseOpenView", 0, 1615},
        {"execute_fails", "ViewExecute", 0, 1627},
        {"fetch_fails", "ViewFetch", 2, 1627},
        {"value_unreadable", "RecordGetString", 3, 1627},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.AddPackage(u"p_x64.msi", kNewCode, u"5.0.10");
        if (c.fault) k.installer.faults.FailNext(c.fault, c.result, c.skip);
        PackageIdentity id;
        id.name = u"untouched";
        EXPECT_EQ(ReadPackageIdentity(k.installer, WideString(u"C:\\Kit\\p_x64.msi"), id),
                  c.result);
        EXPECT_EQ(k.installer.log.Count("OpenDatabase C:\\Kit\\p_x64.msi 0"), 1u);
        EXPECT_EQ(k.installer.log.Count("OpenPackageEx"), 0u);
        EXPECT_EQ(id.productCode.str(), c.result ? u"" : kNewCode);
        EXPECT_EQ(id.upgradeCode.str(), c.result ? u"" : kUpgradeCode);
        EXPECT_EQ(id.version, WideString(c.result ? u"" : u"5.0.10"));
        EXPECT_EQ(id.name, WideString(c.result ? u"untouched" : u"Quorvane CSP"));
        EXPECT_EQ(k.Leaks(), "");
    }
    Kit k;  // a package that names no product, and one without a version
    k.AddPackage(u"p_x64.msi", u"").properties.erase(u"ProductVersion");
    PackageIdentity id;
    EXPECT_EQ(ReadPackageIdentity(k.installer, WideString(u"C:\\Kit\\p_x64.msi"), id), 1620u);
    k.installer.packages[u"C:\\Kit\\p_x64.msi"].properties[u"ProductCode"] = kNewCode;
    EXPECT_EQ(ReadPackageIdentity(k.installer, WideString(u"C:\\Kit\\p_x64.msi"), id), 0u);
    EXPECT_TRUE(id.version.empty());
}

TEST(GetRelatedProductCode, FirstRelatedOrNone) {
    Kit k;
    WideString code(u"untouched");
    EXPECT_EQ(GetRelatedProductCode(k.installer, WideString(kUpgradeCode.c_str()), code), 259u);
    EXPECT_EQ(code, WideString(u"untouched"));
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    EXPECT_EQ(GetRelatedProductCode(k.installer, WideString(kUpgradeCode.c_str()), code), 0u);
    EXPECT_EQ(code.str(), kOldCode);
}

TEST(InstallerStrings, TwoCallProtocol) {
    Kit k;
    k.AddPackage(u"p_x64.msi", kNewCode);
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    MsiHandleHolder h(k.installer);
    ASSERT_EQ(k.installer.OpenPackageEx(u"C:\\Kit\\p_x64.msi", 1, h.put()), 0u);

    WideString value(u"keep");
    EXPECT_EQ(ReadPackageProperty(k.installer, h.get(), u"Absent", value), 0u);
    EXPECT_EQ(value, WideString(u"keep"));
    EXPECT_EQ(ReadPackageProperty(k.installer, h.get(), u"ProductVersion", value), 0u);
    EXPECT_EQ(value, WideString(u"5.0.10"));

    value = u"keep";
    EXPECT_EQ(ReadProductInfo(k.installer, WideString(u"{unknown}"), u"VersionString", value),
              1605u);
    EXPECT_EQ(value, WideString(u"keep"));
    k.installer.faults.FailNext("GetProductInfo", 234, 1);  // the value grew between the calls
    EXPECT_EQ(ReadProductInfo(k.installer, WideString(kOldCode.c_str()), u"VersionString", value),
              234u);

    WideString path;
    EXPECT_EQ(ReadComponentPath(k.installer, WideString(kOldCode.c_str()),
                                u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}", path),
              3);
    EXPECT_EQ(path.str(), kToolFolder + u"key.dll");
    EXPECT_EQ(ReadComponentPath(k.installer, WideString(kOldCode.c_str()), u"{none}", path), -1);
    EXPECT_TRUE(path.empty());
    h.reset();
    EXPECT_EQ(k.Leaks(), "");
}

TEST(CompareInstalledVersion, EachFailureHasItsMessageAndResult) {
    struct {
        const char* name;
        unsigned skip;  // of GetProductInfo; 2: no fault there
        uint32_t result;
        MessageId message;
    } rows[] = {
        // The installer's own code: 1 would tell a deployment tool "not an administrator".
        {"length", 0, 1605, kMsgNoInstalledVersionSize},
        {"value", 1, 1605, kMsgNoInstalledVersion},
        {"compared", 2, 0, kNoMessage},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Kit k;
        k.Install(kOldCode, u"5.0.9", u"x.msi");
        if (r.skip < 2) k.installer.faults.FailNext("GetProductInfo", 1605, r.skip);
        PackageIdentity package;
        package.version = u"5.0.10";
        int order = 99;
        StepResult result = CompareInstalledVersion(k.installer, WideString(kOldCode.c_str()),
                                                    package, order, k.log);
        EXPECT_EQ(result.status, r.result);
        EXPECT_EQ(result.message, r.message);
        EXPECT_EQ(order, r.result == 0 ? 1 : 99);
        EXPECT_EQ(k.Leaks(), "");
    }
}

struct DetectCase {
    const char* name;
    const char16_t* packageName;  // null: the source list read fails
    const char16_t* flags;        // null: the property is absent
    const char16_t* productLanguage;
    const char* faultMethod;
    unsigned faultSkip;
    uint32_t result;
    const char16_t* level;
    const char16_t* language;
    MessageId message;
    bool cachedOpened;
};

TEST(DetectInstalledKcAndLanguage, StepsAAndB) {
    // clang-format off
    const DetectCase cases[] = {
        {"name_has_both", u"qv_x64_kc3_eng.msi", u"kc1,", u"1049", nullptr, 0, 0, u"*kc3*",
         u"*eng*", kNoMessage, false},
        {"name_level_only_flags_silent", u"qv_x64_kc2.msi", u"x", u"1049", nullptr, 0, 0, u"*kc2*",
         u"*rus*", kNoMessage, true},
        {"name_level_flags_override", u"qv_x64_kc2.msi", u"kc3,", u"1033", nullptr, 0, 0,
         u"*kc3*", u"*eng*", kNoMessage, true},
        {"name_without_kc", u"product.msi", u"qvcspi", u"1033", nullptr, 0, 0, u"*kc1*", u"*eng*",
         kNoMessage, true},
        {"source_list_fails", nullptr, u"qvrmcsp", u"", nullptr, 0, 0, u"*kc2*", u"*rus*",
         kNoMessage, true},
        {"kc_at_the_end_names_nothing", u"qv_eng_kc", u"", u"1033", nullptr, 0, 0, u"", u"*eng*",
         kNoMessage, true},
        {"cached_path_length", u"product.msi", u"", u"1033", "GetProductInfo", 0, 1605, u"", u"",
         kMsgNoInstalledPackagePathSize, false},
        {"cached_path_value", u"product.msi", u"", u"1033", "GetProductInfo", 1, 1610, u"", u"",
         kMsgNoInstalledPackagePath, false},
        {"cached_open_quiet", u"product.msi", u"", u"1033", "OpenPackageEx", 0, 1619, u"", u"",
         kNoMessage, true},
        {"flags_unreadable", u"qv_kc2.msi", u"", u"1033", "GetProperty", 0, 1627, u"*kc2*", u"",
         kMsgNoReleaseFlags, true},
        {"language_unreadable", u"qv_kc2.msi", u"kc3,", u"1033", "GetProperty", 2, 1627,
         u"*kc3*", u"", kMsgNoProductLanguage, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        fakes::FakeProduct& p = k.Install(kOldCode, u"5.0.9", c.packageName ? c.packageName : u"");
        if (!c.packageName) p.sourceList.clear();
        auto& cached = k.installer.packages[u"C:\\windows\\Installer\\1a2b.msi"].properties;
        cached[u"ProductLanguage"] = c.productLanguage;
        if (c.flags) cached[u"ISReleaseFlags"] = c.flags;
        if (c.faultMethod) k.installer.faults.FailNext(c.faultMethod, c.result, c.faultSkip);
        WideString level, language;
        StepResult result = DetectInstalledKcAndLanguage(k.installer, WideString(kOldCode.c_str()),
                                                         level, language, k.log);
        EXPECT_EQ(result.status, c.result);
        EXPECT_EQ(result.message, c.message);
        EXPECT_EQ(level, WideString(c.level));
        EXPECT_EQ(language, WideString(c.language));
        EXPECT_EQ(k.installer.log.Count("OpenPackageEx C:\\windows\\Installer"),
                  c.cachedOpened ? 1u : 0u);
        EXPECT_EQ(k.Leaks(), "");
    }
}

}  // namespace
}  // namespace qv::testing
