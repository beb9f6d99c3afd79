#include "packages/InstalledProduct.h"

namespace qv {

InstalledProduct ReadInstalledProduct(Installer& installer, const WideString& upgradeCode,
                                      Log& log) {
    InstalledProduct product;
    std::vector<WideString> related = installer.RelatedProducts(upgradeCode);
    if (related.empty()) {
        log.Info({u"no related product"});
        return product;
    }
    log.Info({u"related product ", related[0]});
    if (!installer.IsInstalled(related[0])) return product;
    product.code = related[0];
    ReadStatus read = installer.ProductInfo(product.code, u"VersionString", product.version);
    if (read.code != 0) {
        product.versionRead = {read.code, read.step == ReadStep::kLength
                                              ? kMsgNoInstalledVersionSize
                                              : kMsgNoInstalledVersion};
        return product;
    }
    log.Info({u"installed product ", product.code, u": version ", product.version});
    return product;
}

Level LevelFromPackageName(const WideString& name) {
    const std::u16string& s = name.str();
    for (size_t i = 0; i + 2 < s.size(); ++i) {
        if (FoldCase(s[i]) == u'K' && FoldCase(s[i + 1]) == u'C' && s[i + 2] >= u'1' &&
            s[i + 2] <= u'3')
            return static_cast<Level>(s[i + 2] - u'0');
    }
    return Level::kNone;
}

Language LanguageFromPackageName(const WideString& name) {
    if (ContainsWithoutCase(name, u"eng")) return Language::kEnglish;
    if (ContainsWithoutCase(name, u"rus")) return Language::kRussian;
    return Language::kNone;
}

Level LevelFromReleaseFlags(const WideString& flags) {
    static const struct {
        const char16_t* token;
        Level level;
    } kRows[] = {
        {u"kc1,", Level::kKc1},    {u"kc2,", Level::kKc2},   {u"kc3,", Level::kKc3},
        {u"qvrmcsp", Level::kKc2}, {u"qvcspi", Level::kKc1},
    };
    for (const auto& row : kRows)
        if (flags.Contains(row.token)) return row.level;
    return Level::kNone;
}

Language LanguageFromProductLanguage(const WideString& productLanguage) {
    return productLanguage == WideString(u"1033") ? Language::kEnglish : Language::kRussian;
}

namespace {

// The release flags and the language of the product's cached package; the level the name gave
// stays unless the flags name one.
StepResult DetectFromCachedPackage(Installer& installer, const WideString& code,
                                   Selection& selection, Log& log) {
    WideString cached;
    ReadStatus read = installer.ProductInfo(code, u"LocalPackage", cached);
    if (read.code != 0) {
        return {read.code, read.step == ReadStep::kLength ? kMsgNoInstalledPackagePathSize
                                                          : kMsgNoInstalledPackagePath};
    }
    ReleaseProperties properties;
    read = installer.ReadReleaseProperties(cached, properties);
    if (read.code != 0 && read.step == ReadStep::kOpen) return {read.code};
    if (read.code != 0 && read.step == ReadStep::kReleaseFlags)
        return {read.code, kMsgNoReleaseFlags};
    Level fromFlags = LevelFromReleaseFlags(properties.releaseFlags);
    if (fromFlags != Level::kNone) selection.level = fromFlags;
    if (read.code != 0) return {read.code, kMsgNoProductLanguage};
    selection.language = LanguageFromProductLanguage(properties.productLanguage);
    log.Info({u"cached package ", cached, u": ISReleaseFlags \"", properties.releaseFlags,
              u"\", ProductLanguage \"", properties.productLanguage, u"\""});
    return {};
}

}  // namespace

InstalledSelection DetectInstalledSelection(Installer& installer, const WideString& code,
                                            Log& log) {
    InstalledSelection found;
    SourceList sources;
    if (uint32_t status = installer.ReadSourceList(code, sources)) {
        log.Info({u"installed package name unknown (", CodeText(status), u")"});
    } else {
        log.Info({u"installed package name: ", sources.packageName});
        found.selection.level = LevelFromPackageName(sources.packageName);
        found.selection.language = LanguageFromPackageName(sources.packageName);
        if (found.selection.level != Level::kNone && found.selection.language != Language::kNone)
            return found;
        found.selection.language = Language::kNone;
    }
    found.detection = DetectFromCachedPackage(installer, code, found.selection, log);
    return found;
}

}  // namespace qv
