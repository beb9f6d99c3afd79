// Level and language detection over installed products whose package name and cached package
// properties are anything at all, with failures at any of the installer calls.
#include <gtest/gtest.h>

#include "FuzzInput.h"
#include "fakes/Fakes.h"
#include "packages/KcLanguage.h"

namespace qv::fuzz {
namespace {

constexpr const char16_t* kCode = u"{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}";
constexpr const char16_t* kCached = u"C:\\Windows\\Installer\\3f2a1.msi";

bool IsLevel(const WideString& level) {
    return level.empty() ||
           (level.size() == 5 && level.Left(3) == WideString(u"*kc") && level[4] == u'*');
}

bool IsLanguage(const WideString& language) {
    return language.empty() || language == WideString(u"*eng*") || language == WideString(u"*rus*");
}

}  // namespace
}  // namespace qv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    GTEST_FLAG_SET(throw_on_failure, true);  // misuse of a fake ends the run
    return 0;
}

// Input: a flags byte, then PackageName, ISReleaseFlags and ProductLanguage, one a line.
// Flags: 1 the source list names a package, 2 the product knows its cached package, 4 the cached
// package opens, 8 unused, 0x30 which property read fails (0: none), 0x40 the product-info
// calls fail.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    std::vector<WideString> fields = fuzz::Lines(fuzz::Units(data + 1, size - 1), 3);
    const WideString& packageName = fields[0];
    const WideString& releaseFlags = fields[1];
    const WideString& productLanguage = fields[2];

    FUZZ_CHECK(fuzz::IsLevel(LevelFromReleaseFlags(releaseFlags)));
    WideString fromLanguage = LanguageFromProductLanguage(productLanguage);
    FUZZ_CHECK(!fromLanguage.empty() && fuzz::IsLanguage(fromLanguage));

    fakes::FakePlatform fake;
    fakes::FakeProduct& product = fake.installer.AddProduct(fuzz::kCode, u"{UPGRADE}");
    if (flags & 1) product.sourceList[u"PackageName"] = packageName.str();
    if (flags & 2) product.info[u"LocalPackage"] = fuzz::kCached;
    if (flags & 4) {
        fake.installer.packages[fuzz::kCached].properties = {
            {u"ISReleaseFlags", releaseFlags.str()}, {u"ProductLanguage", productLanguage.str()}};
    }
    if (unsigned failing = (flags >> 4) & 3)
        fake.installer.faults.FailNext("GetProperty", 1627, failing - 1);
    if (flags & 0x40) fake.installer.faults.FailNext("GetProductInfo", 1605, flags >> 7);
    WideString level, language;
    fakes::FakeLog log;
    StepResult result =
        DetectInstalledKcAndLanguage(fake.installer, fuzz::kCode, level, language, log);
    uint32_t status = result.status;

    FUZZ_CHECK(fuzz::IsLevel(level));
    FUZZ_CHECK(fuzz::IsLanguage(language));
    FUZZ_CHECK(status != 0 || !language.empty());
    FUZZ_CHECK(fake.installer.OpenHandleCount() == 0);
    FUZZ_CHECK(result.message == kNoMessage || status != 0);  // a message tells of a failure
    FUZZ_CHECK(fake.ui.boxes.empty());                        // only the driver speaks
    return 0;
}
