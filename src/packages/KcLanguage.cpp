#include "packages/KcLanguage.h"

#include "common/ResultCodes.h"
#include "packages/InstallerStrings.h"
#include "ui/Messages.h"

namespace qv {
namespace {

constexpr uint32_t kPackageNameBuffer = 260;

WideString LevelPattern(char16_t digit) {
    WideString level(u"*kc");
    level.Append(digit);
    level.Append(u'*');
    return level;
}

// Step A: tokens in the name of the package the product was installed from.
bool DetectFromPackageName(Installer& installer, const WideString& code, WideString& level,
                           WideString& language) {
    WideString name;
    uint32_t length = kPackageNameBuffer;
    uint32_t status = installer.SourceListGetInfo(code.c_str(), kMsiInstallContextMachine,
                                                  kMsiCodeProduct, u"PackageName",
                                                  name.Lend(kPackageNameBuffer), &length);
    name.Commit();
    if (status != 0) return false;
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

// Step B: the cached package's release flags and language.
uint32_t DetectFromCachedPackage(Platform& platform, const WideString& code, bool silent,
                                 WideString& level, WideString& language) {
    Installer& installer = platform.installer;
    WideString cached;
    ReadStep step;
    uint32_t status = ReadProductInfo(installer, code, u"LocalPackage", cached, &step);
    if (status != 0) {
        ShowErrorUnlessSilent(platform, silent,
                              step == ReadStep::kLength ? kMsgNoInstalledPackagePathSize
                                                        : kMsgNoInstalledPackagePath);
        return status;
    }

    MsiHandleHolder package(installer);
    status = installer.OpenPackageEx(cached.c_str(), kMsiOpenPackageIgnoreMachineState,
                                     package.put());
    if (status != 0) return status;

    WideString flags;
    status = ReadPackageProperty(installer, package.get(), u"ISReleaseFlags", flags);
    if (status != 0) {
        ShowErrorUnlessSilent(platform, silent, kMsgNoReleaseFlags);
        return status;
    }
    WideString fromFlags = LevelFromReleaseFlags(flags);
    if (!fromFlags.empty()) level = fromFlags;

    WideString productLanguage;
    status = ReadPackageProperty(installer, package.get(), u"ProductLanguage", productLanguage);
    if (status != 0) {
        ShowErrorUnlessSilent(platform, silent, kMsgNoProductLanguage);
        return status;
    }
    language = LanguageFromProductLanguage(productLanguage);
    return 0;
}

}  // namespace

WideString LevelFromReleaseFlags(const WideString& flags) {
    static const struct {
        const char16_t* token;
        const char16_t* level;
    } kRows[] = {
        {u"kc1,", u"*kc1*"},   {u"kc2,", u"*kc2*"},   {u"kc3,", u"*kc3*"},
        {u"qvrmcsp", u"*kc2*"}, {u"qvcspi", u"*kc1*"},
    };
    for (const auto& row : kRows)
        if (flags.Contains(row.token)) return WideString(row.level);
    return WideString();
}

WideString LanguageFromProductLanguage(const WideString& productLanguage) {
    return WideString(productLanguage == WideString(u"1033") ? u"*eng*" : u"*rus*");
}

uint32_t DetectInstalledKcAndLanguage(Platform& platform, const WideString& installedCode,
                                      bool silent, WideString& level, WideString& language) {
    if (DetectFromPackageName(platform.installer, installedCode, level, language)) return 0;
    return DetectFromCachedPackage(platform, installedCode, silent, level, language);
}

bool KcOrLanguageDiffers(const WideString& kc, const WideString& lang,
                         const WideString& installedLevel, const WideString& installedLanguage) {
    return (!kc.empty() && installedLevel.Find(kc.c_str()) < 0) ||
           (!lang.empty() && installedLanguage.Find(lang.c_str()) < 0);
}

}  // namespace qv
