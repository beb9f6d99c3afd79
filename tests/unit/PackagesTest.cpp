#include <gtest/gtest.h>

#include "Kit.h"
#include "packages/FileLookup.h"
#include "packages/InstallerStrings.h"
#include "packages/KcLanguage.h"
#include "packages/ProductCodes.h"
#include "packages/VersionCheck.h"

namespace qv::testing {
namespace {

TEST(FindFileBesideProgram, FirstMatchAsFolderPlusName) {
    Kit k;
    k.files.Add(u"C:\\Kit", u"setup_rus_kc1_x64.msi");
    k.files.Add(u"C:\\Kit", u"SETUP_X64_KC1_RUS.MSI");
    WideString path(u"untouched");
    EXPECT_EQ(FindFileBesideProgram(k.files, WideString(u"*x64**kc1**rus*"), path), 0u);
    EXPECT_EQ(path, WideString(u"C:\\Kit\\SETUP_X64_KC1_RUS.MSI"));
    path = u"untouched";
    EXPECT_EQ(FindFileBesideProgram(k.files, WideString(u"*kc2*"), path), 2u);
    EXPECT_EQ(path, WideString(u"untouched"));
    EXPECT_EQ(k.Leaks(), "");
}

TEST(FindFileBesideProgram, LongProgramPathIsReadWhole) {
    Kit k;
    std::u16string folder = u"C:\\" + std::u16string(300, u'd');
    k.files.modulePath = WideString((folder + u"\\setup.exe").c_str());
    k.files.Add(folder, u"a_x64.msi");
    WideString path;
    EXPECT_EQ(FindFileBesideProgram(k.files, WideString(u"*x64*"), path), 0u);
    EXPECT_EQ(path.str(), folder + u"\\a_x64.msi");
}

TEST(FindFileBesideProgram, PathWithoutBackslashSearchesTheCurrentDirectory) {
    Kit k;
    k.files.modulePath = u"setup.exe";
    k.files.Add(u"C:\\Kit", u"a_x64.msi");
    WideString path;
    EXPECT_EQ(FindFileBesideProgram(k.files, WideString(u"*x64*"), path), 0u);
    EXPECT_EQ(path, WideString(u"a_x64.msi"));
}

TEST(GetPackageCode, ReadsProductAndRelatedCodes) {
    Kit k;
    k.AddPackage(u"qv_x64_kc1_eng.msi", kNewCode);
    WideString code;
    EXPECT_EQ(GetPackageCode(k.plat, true, code), 259u);  // nothing related installed
    EXPECT_TRUE(code.empty());
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    EXPECT_EQ(GetPackageCode(k.plat, true, code), 0u);
    EXPECT_EQ(code.str(), kOldCode);
    EXPECT_EQ(GetPackageCode(k.plat, false, code), 0u);
    EXPECT_EQ(code.str(), kNewCode);
    k.installer.packages[u"C:\\Kit\\qv_x64_kc1_eng.msi"].openError = 1620;
    EXPECT_EQ(GetPackageCode(k.plat, false, code), 1620u);
    EXPECT_EQ(code.str(), kNewCode);
    EXPECT_EQ(k.Leaks(), "");
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

struct FailureRow {
    const char* name;
    const char* method;  // null: no package beside the program
    unsigned skip;
    uint32_t code;
    uint32_t result;
    MessageId message;
};

TEST(CompareInstalledVersion, EachFailureHasItsMessageAndResult) {
    const FailureRow rows[] = {
        {"length", "GetProductInfo", 0, 1605, 1, kMsgNoInstalledVersionSize},
        {"value", "GetProductInfo", 1, 1610, 1610, kMsgNoInstalledVersion},
        {"no_package", nullptr, 0, 0, 2, kMsgNoFullPath},
        {"open", "OpenPackageEx", 0, 1619, 1619, kMsgCannotOpenNewPackage},
        {"version", "GetProperty", 1, 1627, 1627, kMsgNoNewVersion},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        Kit k;
        if (r.method) k.AddPackage(u"p_x64.msi", kNewCode);
        k.Install(kOldCode, u"5.0.9", u"x.msi");
        if (r.method) k.installer.faults.FailNext(r.method, r.code, r.skip);
        int order = 99;
        StepResult result = CompareInstalledVersion(k.plat, WideString(kOldCode.c_str()), order);
        EXPECT_EQ(result.status, r.result);
        EXPECT_EQ(result.message, r.message);
        EXPECT_EQ(order, 99);
        EXPECT_TRUE(k.ui.boxes.empty());
        EXPECT_EQ(k.Leaks(), "");
    }
}

TEST(GetNewPackageProductName, ReadFailureNamesTheVersionMessage) {
    Kit k;
    k.AddPackage(u"p_x64.msi", kNewCode);
    k.installer.faults.FailNext("GetProperty", 1627);
    WideString name;
    StepResult failed = GetNewPackageProductName(k.plat, name);
    EXPECT_EQ(failed.status, 1627u);
    EXPECT_EQ(failed.message, kMsgNoNewVersion);
    EXPECT_FALSE(GetNewPackageProductName(k.plat, name).Failed());
    EXPECT_EQ(name, WideString(u"Quorvane CSP"));
    EXPECT_EQ(k.Leaks(), "");
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
    const DetectCase cases[] = {
        {"name_has_both", u"qv_x64_kc3_eng.msi", u"kc1,", u"1049", nullptr, 0, 0, u"*kc3*",
         u"*eng*", kNoMessage, false},
        {"name_level_only_flags_silent", u"qv_x64_kc2.msi", u"x", u"1049", nullptr, 0, 0, u"*kc2*",
         u"*rus*", kNoMessage, true},
        {"name_level_flags_override", u"qv_x64_kc2.msi", u"kc3,", u"1033", nullptr, 0, 0, u"*kc3*",
         u"*eng*", kNoMessage, true},
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
        {"language_unreadable", u"qv_kc2.msi", u"kc3,", u"1033", "GetProperty", 2, 1627, u"*kc3*",
         u"", kMsgNoProductLanguage, true},
    };
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
                                                         level, language);
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
