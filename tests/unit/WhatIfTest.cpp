// -whatif's platform over the fakes: no write reaches them, and what a later read depends on is
// served from what was held back.
#include <gtest/gtest.h>

#include "Kit.h"
#include "platform/WhatIf.h"

namespace qv::testing {
namespace {

const char16_t kKey[] = u"HKLM\\Software\\Held";

TEST(WhatIf, HoldsEveryWriteBack) {
    Kit k;
    k.registry.AddKey(kKey);
    k.Install(kNewCode, u"5.0.10", u"qv_x64_kc1_eng.msi");
    k.certificates.root = {"R0"};
    WhatIf overlay(k.plat);
    overlay.lines = &k.log;
    Platform& p = overlay.platform;
    const WideString product(kNewCode);
    const std::vector<WideString> none;

    EXPECT_EQ(p.registry.DeleteKey(kKey), 0u);
    EXPECT_EQ(p.registry.DeleteKey(u"HKLM\\Software\\Absent"), 2u);  // no change, no line
    EXPECT_EQ(p.installer.RestoreSourceList(product, {WideString(u"qv_x64_kc2_rus.msi"), {}}), 0u);
    SourceList read;
    EXPECT_EQ(p.installer.ReadSourceList(product, read), 0u);
    EXPECT_EQ(read.packageName, WideString(u"qv_x64_kc2_rus.msi"));
    uint32_t error = 1;
    EXPECT_TRUE(p.files.CreateLogFile(WideString(u"C:\\l.log"), true, nullptr, error));
    EXPECT_EQ(error, 0u);
    Certificate r0, r1;
    const WideString file(u"r.cer");
    r0.encoded = {'R', '0'}, r1.encoded = {'R', '1'}, r1.thumbprint = WideString(u"R1");
    r1.file = &file;
    EXPECT_EQ(p.certificates.AddToMachine(MachineStore::kRoot, r0), kCryptExists);
    EXPECT_EQ(p.certificates.AddToMachine(MachineStore::kRoot, r1), 0u);
    // What only carrying a plan out writes is refused.
    for (uint32_t refused :
         {p.registry.CreateKey(kKey), p.registry.SetQword(kKey, u"V", 1),
          p.registry.SetStrings(kKey, u"V", none), p.installer.PointSourceList(product, product),
          p.installer.WriteConditions(WideString(kCached), {})})
        EXPECT_EQ(refused, kErrorAccessDenied);

    EXPECT_TRUE(k.registry.HasKey(kKey));
    EXPECT_TRUE(k.installer.calls.empty());
    EXPECT_EQ(k.installer.products[kNewCode].sources->packageName, u"qv_x64_kc1_eng.msi");
    EXPECT_TRUE(k.files.logs.empty());
    EXPECT_EQ(k.certificates.root, std::vector<std::string>{"R0"});
    EXPECT_EQ(k.log.lines,
              (std::vector<std::string>{"would delete HKLM\\Software\\Held",
                                        "would put its source list back to qv_x64_kc2_rus.msi",
                                        "would create C:\\l.log",
                                        "would add certificate R1 of r.cer to Root"}));
}

}  // namespace
}  // namespace qv::testing
