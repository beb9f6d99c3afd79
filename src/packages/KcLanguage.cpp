#include "packages/KcLanguage.h"

#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"

namespace qv {
namespace {

constexpr uint32_t kPackageNameBuffer = 260;

WideString LevelPattern(char16_t digit) {
    WideString level(u"*kc");
    level.Append(digit);
    level.Append(u'*');
    return level;
}

// The tokens in the name of the package the product was installed from.
bool DetectFromPackageName(Installer& installer, const WideString& code, WideString& level,
                           WideString& language, Log& log) {
    WideString name;
    uint32_t length = kPackageNameBuffer;
    uint32_t status =
        installer.SourceListGetInfo(code.c_str(), kMsiInstallContextMachine, kMsiCodeProduct,
                                    u"PackageName", name.Lend(kPackageNameBuffer), &length);
    name.Commit();
    if (status != 0) {
        log.Info({u"installed package name unknown (", CodeText(status), u")"});
        return false;
    }
    log.Info({u"installed package name: ", name});
    ptrdiff_t kc = name.Find(u"kc");
    if (kc < 0) return false;
    // "kc" at the very end names no level: no character to take.
    if (static_cast<size_t>(kc) + 2 >= name.size()) return false;
    level = LevelPattern(name[static_cast<size_t>(kc) + 2]);
    if (name.Contains(u"eng")) {
        language = u"*eng*";
        return true;
    }
    if (name.Contains(u"rus")) {
        language = u"*rus*";
        return true;
    }
    return false;
}

// The release flags and the language of the product's cached package.
StepResult DetectFromCachedPackage(Installer& installer, const WideString& code, WideString& level,
                                   WideString& language, Log& log) {
    WideString cached;
    ReadStep step;
    if (uint32_t status = ReadProductInfo(installer, code, u"LocalPackage", cached, &step)) {
        return {status, step == ReadStep::kLength ? kMsgNoInstalledPackagePathSize
                                                  : kMsgNoInstalledPackagePath};
    }
    MsiHandleHolder package(installer);
    if (uint32_t status = installer.OpenPackageEx(cached.c_str(), kMsiOpenPackageIgnoreMachineState,
                                                  package.put()))
        return {status};

    WideString flags;
    if (uint32_t status = ReadPackageProperty(installer, package.get(), u"ISReleaseFlags", flags))
        return {status, kMsgNoReleaseFlags};
    WideString fromFlags = LevelFromReleaseFlags(flags);
    if (!fromFlags.empty()) level = fromFlags;

    WideString productLanguage;
    if (uint32_t status =
            ReadPackageProperty(installer, package.get(), u"ProductLanguage", productLanguage))
        return {status, kMsgNoProductLanguage};
    language = LanguageFromProductLanguage(productLanguage);
    log.Info({u"cached package ", cached, u": ISReleaseFlags \"", flags, u"\", ProductLanguage \"",
              productLanguage, u"\""});
    return {};
}

}  // namespace

WideString LevelFromReleaseFlags(const WideString& flags) {
    static const struct {
        const char16_t* token;
        const char16_t* level;
    } kRows[] = {
        {u"kc1,", u"*kc1*"},    {u"kc2,", u"*kc2*"},   {u"kc3,", u"*kc3*"},
        {u"qvrmcsp", u"*kc2*"}, {u"qvcspi", u"*kc1*"},
    };
    for (const auto& row : kRows)
        if (flags.Contains(row.token)) return WideString(row.level);
    return WideString();
}

WideString LanguageFromProductLanguage(const WideString& productLanguage) {
    return WideString(productLanguage == WideString(u"1033") ? u"*eng*" : u"*rus*");
}

StepResult DetectInstalledKcAndLanguage(Installer& installer, const WideString& installedCode,
                                        WideString& level, WideString& language, Log& log) {
    if (DetectFromPackageName(installer, installedCode, level, language, log)) return {};
    return DetectFromCachedPackage(installer, installedCode, level, language, log);
}

bool KcOrLanguageDiffers(const WideString& kc, const WideString& lang,
                         const WideString& installedLevel, const WideString& installedLanguage) {
    return (!kc.empty() && installedLevel.Find(kc.c_str()) < 0) ||
           (!lang.empty() && installedLanguage.Find(lang.c_str()) < 0);
}

}  // namespace qv
