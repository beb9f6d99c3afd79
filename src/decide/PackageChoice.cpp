#include "decide/PackageChoice.h"

#include "model/Choices.h"

namespace qv {

WideString FindPackage(const KitFolder& kit, const WideString& pattern) {
    for (const WideString& name : kit.packages)
        if (MatchesPattern(pattern, name)) return kit.folder + name;
    return WideString();
}

bool HoldsPerLevelPackages(const KitFolder& kit) {
    for (const WideString& name : kit.packages)
        if (ContainsWithoutCase(name, u"kc1")) return true;
    return false;
}

PackageChoice ChoosePackage(const KitFolder& kit, Architecture architecture,
                            const Selection& selection) {
    bool levelPackages = false;
    WideString platform = PackagePattern(architecture, Level::kNone, Language::kNone);
    for (const WideString& name : kit.packages)
        levelPackages =
            levelPackages || (MatchesPattern(platform, name) && LevelInName(name) != Level::kNone);
    bool keepLevel = levelPackages && selection.level != Level::kNone;
    const struct {
        Level level;
        Language language;
        FoundBy by;
    } searches[] = {
        {selection.level, selection.language, FoundBy::kLevelAndLanguage},
        {keepLevel ? selection.level : Level::kNone,
         keepLevel ? Language::kNone : selection.language,
         keepLevel ? FoundBy::kLevelAlone : FoundBy::kLanguageAlone},
        {Level::kNone, Language::kNone, keepLevel ? FoundBy::kNothing : FoundBy::kPlatformAlone},
    };
    PackageChoice choice;
    for (const auto& search : searches) {
        if (search.by == FoundBy::kNothing) break;
        choice.path = FindPackage(kit, PackagePattern(architecture, search.level, search.language));
        if (!choice.path.empty()) {
            choice.foundBy = search.by;
            break;
        }
    }
    return choice;
}

}  // namespace qv
