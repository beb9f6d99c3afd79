#include <gtest/gtest.h>

#include "Kit.h"
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

TEST(GetPlatformPattern, ProbeStates) {
    struct {
        bool kernelLoaded;
        bool exported;
        fakes::Wow64 wow64;
        const char16_t* expected;
    } cases[] = {
        {true, true, fakes::Wow64::kYes, u"*x64*"},
        {true, true, fakes::Wow64::kNo, u"*win32*"},
        {true, true, fakes::Wow64::kCallFails, u"*win32*"},
        {true, false, fakes::Wow64::kYes, u"*win32*"},
        {false, true, fakes::Wow64::kYes, u"*win32*"},
    };
    for (const auto& c : cases) {
        Kit k;
        k.system.wow64 = c.wow64;
        k.system.modules[u"kernel32.dll"].loaded = c.kernelLoaded;
        if (!c.exported) k.system.modules[u"kernel32.dll"].exports.clear();
        Wow64Probe probe;
        EXPECT_EQ(GetPlatformPattern(k.system, probe), WideString(c.expected));
        // An unresolved probe tries again; a resolved one never looks the module up again.
        size_t lookups = k.system.log.Count("GetModuleHandle kernel32");
        GetPlatformPattern(k.system, probe);
        EXPECT_EQ(k.system.log.Count("GetModuleHandle kernel32"),
                  c.kernelLoaded ? lookups : lookups + 1);
    }
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
    const char* method;
    unsigned skip;
    uint32_t code;
    uint32_t result;
    const char* box;
};

TEST(CompareInstalledVersion, EachFailureHasItsMessageAndResult) {
    const FailureRow rows[] = {
        {"length", "GetProductInfo", 0, 1605, 1, "m107"},
        {"value", "GetProductInfo", 1, 1610, 1610, "m106"},
        {"open", "OpenPackageEx", 0, 1619, 1619, "m108"},
        {"version", "GetProperty", 1, 1627, 1627, "m109"},
    };
    for (const auto& r : rows) {
        for (bool silent : {false, true}) {
            Kit k;
            k.AddPackage(u"p_x64.msi", kNewCode);
            k.Install(kOldCode, u"5.0.9", u"x.msi");
            k.installer.faults.FailNext(r.method, r.code, r.skip);
            int order = 99;
            EXPECT_EQ(CompareInstalledVersion(k.plat, silent, WideString(kOldCode.c_str()),
                                              order),
                      r.result)
                << r.name;
            EXPECT_EQ(order, 99) << r.name;
            EXPECT_EQ(k.BoxTexts(), silent ? std::vector<std::string>{}
                                           : std::vector<std::string>{r.box})
                << r.name;
            EXPECT_EQ(k.Leaks(), "") << r.name;
        }
    }
    Kit k;
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    int order = 0;
    EXPECT_EQ(CompareInstalledVersion(k.plat, false, WideString(kOldCode.c_str()), order), 2u);
    EXPECT_EQ(k.BoxTexts(), std::vector<std::string>{"m105"});
}

TEST(GetNewPackageProductName, ReadFailureShowsTheVersionMessage) {
    Kit k;
    k.AddPackage(u"p_x64.msi", kNewCode);
    k.installer.faults.FailNext("GetProperty", 1627);
    WideString name;
    EXPECT_EQ(GetNewPackageProductName(k.plat, false, name), 1627u);
    EXPECT_EQ(k.BoxTexts(), std::vector<std::string>{"m109"});
    EXPECT_EQ(GetNewPackageProductName(k.plat, false, name), 0u);
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
    const char* box;
    bool cachedOpened;
};

TEST(DetectInstalledKcAndLanguage, StepsAAndB) {
    const DetectCase cases[] = {
        {"name_has_both", u"qv_x64_kc3_eng.msi", u"kc1,", u"1049", nullptr, 0, 0, u"*kc3*",
         u"*eng*", nullptr, false},
        {"name_level_only_flags_silent", u"qv_x64_kc2.msi", u"x", u"1049", nullptr, 0, 0, u"*kc2*",
         u"*rus*", nullptr, true},
        {"name_level_flags_override", u"qv_x64_kc2.msi", u"kc3,", u"1033", nullptr, 0, 0,
         u"*kc3*", u"*eng*", nullptr, true},
        {"name_without_kc", u"product.msi", u"qvcspi", u"1033", nullptr, 0, 0, u"*kc1*", u"*eng*",
         nullptr, true},
        {"source_list_fails", nullptr, u"qvrmcsp", u"", nullptr, 0, 0, u"*kc2*", u"*rus*",
         nullptr, true},
        {"kc_at_the_end_names_nothing", u"qv_eng_kc", u"", u"1033", nullptr, 0, 0, u"", u"*eng*",
         nullptr, true},
        {"cached_path_length", u"product.msi", u"", u"1033", "GetProductInfo", 0, 1605, u"", u"",
         "m111", false},
        {"cached_path_value", u"product.msi", u"", u"1033", "GetProductInfo", 1, 1610, u"", u"",
         "m110", false},
        {"cached_open_quiet", u"product.msi", u"", u"1033", "OpenPackageEx", 0, 1619, u"", u"",
         nullptr, true},
        {"flags_unreadable", u"qv_kc2.msi", u"", u"1033", "GetProperty", 0, 1627, u"*kc2*", u"",
         "m112", true},
        {"language_unreadable", u"qv_kc2.msi", u"kc3,", u"1033", "GetProperty", 2, 1627,
         u"*kc3*", u"", "m113", true},
    };
    for (const auto& c : cases) {
        Kit k;
        fakes::FakeProduct& p = k.Install(kOldCode, u"5.0.9", c.packageName ? c.packageName : u"");
        if (!c.packageName) p.sourceList.clear();
        auto& cached = k.installer.packages[u"C:\\windows\\Installer\\1a2b.msi"].properties;
        cached[u"ProductLanguage"] = c.productLanguage;
        if (c.flags) cached[u"ISReleaseFlags"] = c.flags;
        if (c.faultMethod) k.installer.faults.FailNext(c.faultMethod, c.result, c.faultSkip);
        WideString level, language;
        EXPECT_EQ(DetectInstalledKcAndLanguage(k.plat, WideString(kOldCode.c_str()), false,
                                               level, language),
                  c.result)
            << c.name;
        EXPECT_EQ(level, WideString(c.level)) << c.name;
        EXPECT_EQ(language, WideString(c.language)) << c.name;
        EXPECT_EQ(k.BoxTexts(),
                  c.box ? std::vector<std::string>{c.box} : std::vector<std::string>{})
            << c.name;
        EXPECT_EQ(k.installer.log.Count("OpenPackageEx C:\\windows\\Installer"),
                  c.cachedOpened ? 1u : 0u)
            << c.name;
        EXPECT_EQ(k.Leaks(), "") << c.name;
    }
}

}  // namespace
}  // namespace qv::testing
