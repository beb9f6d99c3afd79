#include "model/Choices.h"

#include <string>

#include "common/ResultCodes.h"

namespace qv {

const char16_t* TokenOf(Architecture architecture) {
    static const char16_t* const kTokens[] = {u"win32", u"x64", u"arm64"};
    return kTokens[static_cast<int>(architecture)];
}

const char* MachineName(Architecture architecture) {
    static const char* const kNames[] = {"x86", "x64", "ARM64"};
    return kNames[static_cast<int>(architecture)];
}

const char16_t* TokenOf(Level level) {
    static const char16_t* const kTokens[] = {u"", u"kc1", u"kc2", u"kc3"};
    return kTokens[static_cast<int>(level)];
}

const char16_t* TokenOf(Language language) {
    static const char16_t* const kTokens[] = {u"", u"eng", u"rus"};
    return kTokens[static_cast<int>(language)];
}

Level ParseLevel(const WideString& value) {
    for (Level level : {Level::kKc1, Level::kKc2, Level::kKc3})
        if (EqualWithoutCase(value, TokenOf(level))) return level;
    return Level::kNone;
}

Language ParseLanguage(const WideString& value) {
    for (Language language : {Language::kEnglish, Language::kRussian})
        if (EqualWithoutCase(value, TokenOf(language))) return language;
    return Language::kNone;
}

Level LevelInName(const WideString& name) {
    const std::u16string& s = name.str();
    for (size_t i = 0; i + 2 < s.size(); ++i) {
        if (FoldCase(s[i]) == u'K' && FoldCase(s[i + 1]) == u'C' && s[i + 2] >= u'1' &&
            s[i + 2] <= u'3')
            return static_cast<Level>(s[i + 2] - u'0');
    }
    return Level::kNone;
}

Language LanguageInName(const WideString& name) {
    if (ContainsWithoutCase(name, u"eng")) return Language::kEnglish;
    if (ContainsWithoutCase(name, u"rus")) return Language::kRussian;
    return Language::kNone;
}

Language LanguageOfUi(uint16_t languageId) {
    return languageId == kLangRussian ? Language::kRussian : Language::kEnglish;
}

WideString PackagePattern(Architecture architecture, Level level, Language language) {
    WideString pattern(u"*");
    for (const char16_t* token : {TokenOf(architecture), TokenOf(level), TokenOf(language)}) {
        if (*token == 0) continue;
        pattern.Append(token);
        pattern.Append(u'*');
    }
    pattern.Append(u".msi");
    return pattern;
}

bool MatchesPattern(const WideString& pattern, const WideString& name) {
    const std::u16string& p = pattern.str();
    const std::u16string& n = name.str();
    // Greedy, backtracking to the last star: linear enough for file names.
    size_t pi = 0, ni = 0, star = std::u16string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == u'?' || FoldCase(p[pi]) == FoldCase(n[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == u'*') {
            star = pi++;
            resume = ni;
        } else if (star != std::u16string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == u'*') ++pi;
    return pi == p.size();
}

}  // namespace qv
