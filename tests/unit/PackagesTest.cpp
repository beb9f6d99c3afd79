#include <gtest/gtest.h>

#include "Kit.h"
#include "decide/PackageChoice.h"
#include "detect/ReadInstalledProduct.h"
#include "detect/ReadKitFolder.h"
#include "detect/ReadSeal.h"
#include "model/Choices.h"

namespace qv::testing {
namespace {

TEST(Choices, OptionValuesWithoutCase) {
    EXPECT_EQ(ParseLevel(WideString(u"kc2")), Level::kKc2);
    EXPECT_EQ(ParseLevel(WideString(u"KC3")), Level::kKc3);
    EXPECT_EQ(ParseLanguage(WideString(u"Rus")), Language::kRussian);
    for (const char16_t* unknown : {u"", u"kc", u"kc4", u"kc1 ", u"*kc1*", u"k\u212A1"}) {
        EXPECT_EQ(ParseLevel(WideString(unknown)), Level::kNone) << ToUtf8(WideString(unknown));
        EXPECT_EQ(ParseLanguage(WideString(unknown)), Language::kNone);
    }
    EXPECT_EQ(ToUtf8(PackagePattern(Architecture::kX64, Level::kKc2, Language::kRussian)),
              "*x64*kc2*rus*.msi");
    EXPECT_EQ(ToUtf8(PackagePattern(Architecture::kWin32, Level::kNone, Language::kNone)),
              "*win32*.msi");
}

TEST(Choices, PatternsMatchAsTheDirectorySearch) {
    const struct {
        const char16_t* pattern;
        const char16_t* name;
        bool matches;
    } cases[] = {
        {u"*x64*kc1*eng*.msi", u"QV_X64_KC1_ENG.MSI", true},
        {u"*x64*kc1*eng*.msi", u"qv_eng_kc1_x64.msi", false},
        {u"*x64*.msi", u"x64.msi", true},
        {u"*x64*.msi", u"qv_x64.msi.bak", false},
        {u"*x64*.msi", u"qv_x64.msix", false},
        {u"a?c", u"abc", true},
        {u"a?c", u"ac", false},
        {u"*", u"", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesPattern(WideString(c.pattern), WideString(c.name)), c.matches)
            << ToUtf8(WideString(c.pattern)) << " " << ToUtf8(WideString(c.name));
}

// Only files ending in the kinds' extensions count, in name order without case, whatever order
// the file system lists them in.
TEST(KitFolder, PackagesAndCertificatesInNameOrder) {
    Kit k;
    for (const char16_t* name :
         {u"b_x64.MSI", u"root.crt", u"A_x64.msi", u"c.p7b", u"qv_x64.msi.bak", u"qv_x64.msix",
          u"notes.txt", u"z.cer", u"old.crtx", u"revoked.cer_disabled", u"a.CER"})
        k.files.Add(u"C:\\Kit", name);
    KitFolder kit = ReadKitFolder(k.files);
    EXPECT_EQ(kit.folder, WideString(u"C:\\Kit\\"));
    EXPECT_EQ(kit.error, 0u);
    auto names = [](const std::vector<WideString>& list) {
        std::vector<std::string> out;
        for (const WideString& n : list) out.push_back(ToUtf8(n));
        return out;
    };
    EXPECT_EQ(names(kit.packages), (std::vector<std::string>{"A_x64.msi", "b_x64.MSI"}));
    EXPECT_EQ(names(kit.certificates),
              (std::vector<std::string>{"a.CER", "z.cer", "c.p7b", "root.crt"}));
    EXPECT_EQ(FindPackage(kit, WideString(u"*x64*.msi")), WideString(u"C:\\Kit\\A_x64.msi"));
    EXPECT_TRUE(FindPackage(kit, WideString(u"*win32*.msi")).empty());
}

TEST(KitFolder, ProgramPathDecidesTheFolder) {
    Kit k;
    std::u16string folder = u"C:\\" + std::u16string(300, u'd');
    k.files.programPath = WideString(folder + u"\\setup.exe");
    k.files.Add(folder, u"a_x64.msi");
    EXPECT_EQ(FindPackage(ReadKitFolder(k.files), WideString(u"*x64*.msi")).str(),
              folder + u"\\a_x64.msi");
    k.files.programPath = u"Z:\\gone\\setup.exe";
    EXPECT_EQ(ReadKitFolder(k.files).error, 3u);
}

TEST(ChoosePackage, FallsBackWithoutLevelThenToPlatformAlone) {
    KitFolder kit;
    kit.folder = u"C:\\Kit\\";
    for (const char16_t* name : {u"a_x64_kc2_rus.msi", u"b_x64_kc1_eng.msi", u"c_x64.msi"})
        kit.packages.emplace_back(name);
    const struct {
        Selection selection;
        const char16_t* found;
        FoundBy by;
    } cases[] = {
        {{Level::kKc1, Language::kEnglish},
         u"C:\\Kit\\b_x64_kc1_eng.msi",
         FoundBy::kLevelAndLanguage},
        // A level chosen stays; only its language falls back.
        {{Level::kKc1, Language::kRussian}, u"C:\\Kit\\b_x64_kc1_eng.msi", FoundBy::kLevelAlone},
        {{Level::kKc3, Language::kEnglish}, u"", FoundBy::kNothing},
        {{Level::kNone, Language::kRussian},
         u"C:\\Kit\\a_x64_kc2_rus.msi",
         FoundBy::kLevelAndLanguage},
        {{Level::kNone, Language::kNone},
         u"C:\\Kit\\a_x64_kc2_rus.msi",
         FoundBy::kLevelAndLanguage},
    };
    for (const auto& c : cases) {
        PackageChoice choice = ChoosePackage(kit, Architecture::kX64, c.selection);
        EXPECT_EQ(choice.path, WideString(c.found));
        EXPECT_EQ(choice.foundBy, c.by);
    }
    EXPECT_EQ(ChoosePackage(kit, Architecture::kWin32, {}).foundBy, FoundBy::kNothing);
    // A kit without level packages falls back as far as the platform.
    kit.packages = {WideString(u"q_x64_rus.msi"), WideString(u"r_x64.msi")};
    PackageChoice choice =
        ChoosePackage(kit, Architecture::kX64, {Level::kKc3, Language::kRussian});
    EXPECT_EQ(choice.foundBy, FoundBy::kLanguageAlone);
    choice = ChoosePackage(kit, Architecture::kX64, {Level::kKc3, Language::kEnglish});
    EXPECT_EQ(choice.path, WideString(u"C:\\Kit\\q_x64_rus.msi"));
    EXPECT_EQ(choice.foundBy, FoundBy::kPlatformAlone);
}

// A line a file: "<SHA-256 in hex> <size> <name>"; any damage and no file is trusted.
TEST(Seal, ReadsItsLines) {
    const std::string hash(64, 'a');
    const struct {
        const char* name;
        std::string text;
        size_t files;
    } cases[] = {
        {"two_files", hash + " 10 a b.msi\n" + hash + " 0 Кит.cer\n", 2},
        {"no_final_line_break", hash + " 10 a.msi", 1},
        {"empty", "", 0},
        {"short_hash", hash.substr(1) + " 10 a.msi\n", 0},
        {"upper_case_hex", std::string(64, 'A') + " 10 a.msi\n", 0},
        {"no_size", hash + "  a.msi\n", 0},
        {"no_name", hash + " 10 \n", 0},
        {"size_past_64_bits", hash + " 99999999999999999999 a.msi\n", 0},
        {"one_bad_line_spoils_all", hash + " 10 a.msi\nnonsense\n", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Seal seal = ReadSeal(c.text.data(), c.text.size());
        EXPECT_TRUE(seal.sealed);
        EXPECT_EQ(seal.files.size(), c.files);
    }
    std::string text = hash + " 10 A B.MSI\n" + hash + " 0 Кит.cer\n";
    Seal seal = ReadSeal(text.data(), text.size());
    ASSERT_NE(seal.Find(WideString(u"a b.msi")), nullptr);
    EXPECT_EQ(seal.Find(WideString(u"a b.msi"))->size, 10u);
    EXPECT_EQ(seal.Find(WideString(u"a b.msi"))->sha256[31], 0xAA);
    EXPECT_NE(seal.Find(WideString(u"Кит.cer")), nullptr);
    EXPECT_EQ(seal.Find(WideString(u"a.msi")), nullptr);
}

TEST(InstalledProduct, LevelAndLanguageFromNamesAndFlags) {
    const struct {
        const char16_t* text;
        Level fromName;
        Language language;
        Level fromFlags;
    } cases[] = {
        {u"qv_x64_kc3_eng.msi", Level::kKc3, Language::kEnglish, Level::kNone},
        {u"QV_X64_KC2_RUS.MSI", Level::kKc2, Language::kRussian, Level::kNone},
        {u"qv_kcsp_kc1_rus_eng", Level::kKc1, Language::kEnglish, Level::kNone},
        {u"kc4_kc", Level::kNone, Language::kNone, Level::kNone},
        {u"x,kc3,kc1,", Level::kKc3, Language::kNone, Level::kKc1},
        {u"qvrmcsp", Level::kNone, Language::kNone, Level::kKc2},
        {u"qvcspi", Level::kNone, Language::kNone, Level::kKc1},
        {u"qvrmcsp,kc3,", Level::kKc3, Language::kNone, Level::kKc3},
        {u"KC1,", Level::kKc1, Language::kNone, Level::kNone},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(WideString(c.text)));
        EXPECT_EQ(LevelInName(WideString(c.text)), c.fromName);
        EXPECT_EQ(LanguageInName(WideString(c.text)), c.language);
        EXPECT_EQ(LevelFromReleaseFlags(WideString(c.text)), c.fromFlags);
    }
    EXPECT_EQ(LanguageFromProductLanguage(WideString(u"1033")), Language::kEnglish);
    for (const char16_t* v : {u"1049", u"", u"01033", u"1033 "})
        EXPECT_EQ(LanguageFromProductLanguage(WideString(v)), Language::kRussian);
}

// From the installed package's name, else from its cached package; each failure has its message.
TEST(InstalledProduct, DetectionSteps) {
    struct {
        const char* name;
        const char16_t* packageName;  // null: the source list cannot be read
        ReleaseProperties cached;
        ReadStep failing;  // kOpen with code 0: nothing fails
        uint32_t code;
        Level level;
        Language language;
        MessageId message;
    } cases[] = {
        {"name_has_both",
         u"qv_x64_kc3_eng.msi",
         {u"kc1,", u"1049"},
         ReadStep::kOpen,
         0,
         Level::kKc3,
         Language::kEnglish,
         kNoMessage},
        {"name_level_only",
         u"qv_x64_kc2.msi",
         {u"x", u"1049"},
         ReadStep::kOpen,
         0,
         Level::kKc2,
         Language::kRussian,
         kNoMessage},
        {"flags_override_the_name",
         u"qv_x64_kc2.msi",
         {u"kc3,", u"1033"},
         ReadStep::kOpen,
         0,
         Level::kKc3,
         Language::kEnglish,
         kNoMessage},
        {"source_list_unreadable",
         nullptr,
         {u"qvrmcsp", u""},
         ReadStep::kOpen,
         0,
         Level::kKc2,
         Language::kRussian,
         kNoMessage},
        {"cached_path_length",
         u"product.msi",
         {},
         ReadStep::kLength,
         1605,
         Level::kNone,
         Language::kNone,
         kMsgNoInstalledPackagePathSize},
        {"cached_path_value",
         u"product.msi",
         {},
         ReadStep::kValue,
         1610,
         Level::kNone,
         Language::kNone,
         kMsgNoInstalledPackagePath},
        {"cached_open_quiet",
         u"product.msi",
         {},
         ReadStep::kOpen,
         1619,
         Level::kNone,
         Language::kNone,
         kNoMessage},
        {"flags_unreadable",
         u"qv_kc2.msi",
         {},
         ReadStep::kReleaseFlags,
         1627,
         Level::kKc2,
         Language::kNone,
         kMsgNoReleaseFlags},
        {"language_unreadable",
         u"qv_kc2.msi",
         {u"kc3,", u""},
         ReadStep::kProductLanguage,
         1627,
         Level::kKc3,
         Language::kNone,
         kMsgNoProductLanguage},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        fakes::FakeProduct& p = k.Install(kOldCode, u"5.0.9", c.packageName ? c.packageName : u"");
        if (!c.packageName) p.sources.reset();
        k.installer.Package(kCached).release = c.cached;
        bool path = c.failing == ReadStep::kLength || c.failing == ReadStep::kValue;
        if (c.code != 0)
            k.installer.faults.FailNext(path ? "ProductInfo" : "ReadReleaseProperties", c.code, 0,
                                        c.failing);
        InstalledSelection found =
            DetectInstalledSelection(k.installer, WideString(kOldCode), k.log);
        EXPECT_EQ(found.detection.status, c.code);
        EXPECT_EQ(found.detection.message, c.message);
        EXPECT_EQ(found.selection.level, c.level);
        EXPECT_EQ(found.selection.language, c.language);
        EXPECT_EQ(k.Leaks(), "");
    }
}

TEST(InstalledProduct, RelatedAndItsVersion) {
    Kit k;
    EXPECT_TRUE(ReadInstalledProduct(k.installer, WideString(kUpgradeCode), k.log).code.empty());
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    InstalledProduct p = ReadInstalledProduct(k.installer, WideString(kUpgradeCode), k.log);
    EXPECT_EQ(p.code.str(), kOldCode);
    EXPECT_EQ(p.version, WideString(u"5.0.9"));
    k.installer.faults.FailNext("ProductInfo", 1605, 0, ReadStep::kValue);
    p = ReadInstalledProduct(k.installer, WideString(kUpgradeCode), k.log);
    EXPECT_EQ(p.versionRead.status, 1605u);
    EXPECT_EQ(p.versionRead.message, kMsgNoInstalledVersion);
    k.installer.products[kOldCode].installed = false;
    EXPECT_TRUE(ReadInstalledProduct(k.installer, WideString(kUpgradeCode), k.log).code.empty());
}

}  // namespace
}  // namespace qv::testing
