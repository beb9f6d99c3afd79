// Level and language detection over installed products whose package name and cached package
// properties are anything at all, with failures at any of the installer calls.
#include <gtest/gtest.h>

#include "FuzzInput.h"
#include "detect/ReadInstalledProduct.h"
#include "fakes/Fakes.h"
#include "model/Choices.h"

namespace qv::fuzz {
namespace {

constexpr const char16_t* kCode = u"{6F1A2B3C-4D5E-4F60-8172-93A4B5C6D7E8}";
constexpr const char16_t* kCached = u"C:\\Windows\\Installer\\3f2a1.msi";

}  // namespace
}  // namespace qv::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    GTEST_FLAG_SET(throw_on_failure, true);  // misuse of a fake ends the run
    return 0;
}

// Input: a flags byte, then PackageName, ISReleaseFlags and ProductLanguage, one a line.
// Flags: 1 the source list names a package, 2 the product knows its cached package, 4 the cached
// package opens, 0x30 which read of it fails (0: none), 0x40 the product-info call fails.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace qv;
    if (size < 1) return 0;
    const uint8_t flags = data[0];
    std::vector<WideString> fields = fuzz::Lines(fuzz::Units(data + 1, size - 1), 3);
    const WideString& packageName = fields[0];

    // A name's language is one of its tokens, and the level one it names.
    Language fromName = LanguageInName(packageName);
    FUZZ_CHECK(fromName == Language::kNone || ContainsWithoutCase(packageName, TokenOf(fromName)));
    Level level = LevelInName(packageName);
    FUZZ_CHECK(level == Level::kNone || ContainsWithoutCase(packageName, TokenOf(level)));

    fakes::FakePlatform fake;
    fakes::FakeProduct& product = fake.installer.products[fuzz::kCode];
    if (flags & 1) product.sources = SourceList{packageName, {}};
    if (flags & 2) product.info[u"LocalPackage"] = fuzz::kCached;
    if (flags & 4) fake.installer.Package(fuzz::kCached).release = {fields[1], fields[2]};
    static const ReadStep kSteps[] = {ReadStep::kOpen, ReadStep::kReleaseFlags,
                                      ReadStep::kProductLanguage};
    if (unsigned failing = (flags >> 4) & 3)
        fake.installer.faults.FailNext("ReadReleaseProperties", 1627, 0, kSteps[failing - 1]);
    if (flags & 0x40) fake.installer.faults.FailNext("ProductInfo", 1605, 0, ReadStep::kLength);
    fakes::FakeLog log;
    InstalledSelection found = DetectInstalledSelection(fake.installer, fuzz::kCode, log);
    const StepResult& result = found.detection;

    FUZZ_CHECK(result.Failed() || found.selection.language != Language::kNone);
    FUZZ_CHECK(result.message == kNoMessage || result.Failed());  // a message tells of a failure
    FUZZ_CHECK(fake.ui.boxes.empty());                            // only the driver speaks
    return 0;
}
