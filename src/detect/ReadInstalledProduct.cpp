#include "detect/ReadInstalledProduct.h"

#include "common/ResultCodes.h"
#include "model/Choices.h"

namespace qv {
namespace {

// The installer keeps these values for every product it registers: empty, they are a failed
// read (1610), which the log names.
void NoteEmpty(Log& log, uint32_t code, const char16_t* value) {
    if (code == kErrorBadConfiguration) log.Error({value, " is empty"});
}

}  // namespace

InstalledProduct ReadInstalledProduct(Installer& installer, const WideString& upgradeCode,
                                      Log& log) {
    InstalledProduct product;
    std::vector<WideString> related = installer.RelatedProducts(upgradeCode);
    if (related.empty()) log.Info({"no related product"});
    for (const WideString& code : related) {
        log.Info({"related product ", code});
        if (!installer.IsInstalled(code)) continue;
        if (!product.code.empty()) {
            product.other = code;
            break;
        }
        product.code = code;
    }
    if (product.code.empty()) return product;
    ReadStatus read = installer.ProductInfo(product.code, u"VersionString", product.version);
    NoteEmpty(log, read.code, u"VersionString");
    if (read.code != 0) {
        product.versionRead = {read.code, read.step == ReadStep::kLength
                                              ? kMsgNoInstalledVersionSize
                                              : kMsgNoInstalledVersion};
        return product;
    }
    log.Info({"installed product ", product.code, ": version ", product.version});
    return product;
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
    NoteEmpty(log, read.code, u"LocalPackage");
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
    log.Info({"cached package ", cached, ": ISReleaseFlags \"", properties.releaseFlags,
              "\", ProductLanguage \"", properties.productLanguage, "\""});
    return {};
}

}  // namespace

InstalledSelection DetectInstalledSelection(Installer& installer, const WideString& code,
                                            Log& log) {
    InstalledSelection found;
    SourceList sources;
    uint32_t status = installer.ReadSourceList(code, sources);
    NoteEmpty(log, status, u"PackageName");
    if (status) {
        log.Info({"installed package name unknown (", CodeText(status), ")"});
    } else {
        log.Info({"installed package name: ", sources.packageName});
        found.selection.level = LevelInName(sources.packageName);
        found.selection.language = LanguageInName(sources.packageName);
        if (found.selection.level != Level::kNone && found.selection.language != Language::kNone)
            return found;
        found.selection.language = Language::kNone;
    }
    found.detection = DetectFromCachedPackage(installer, code, found.selection, log);
    return found;
}

}  // namespace qv
