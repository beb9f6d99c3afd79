#include <gtest/gtest.h>

#include "Kit.h"
#include "apply/Apply.h"
#include "apply/InitTool.h"
#include "apply/InstallerInvocation.h"
#include "apply/ProcessRunner.h"
#include "apply/SequencePatch.h"
#include "detect/Certificates.h"
#include "detect/ReadKitFolder.h"

namespace qv::testing {
namespace {

using fakes::ProcessOutcome;

TEST(RunInstaller, RestartCodesAreSuccessThatNeedsARestart) {
    struct {
        uint32_t exit;
        uint32_t result;
        bool restartNeeded;
    } cases[] = {
        {0, 0, false},   {3010, 0, true},     {3011, 0, true},
        {1641, 0, true}, {1602, 1602, false}, {1603, 1603, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exit);
        Kit k;
        k.processes.script = {ProcessOutcome::Exit(c.exit)};
        bool restartNeeded = !c.restartNeeded;
        InstallPackage step{Identity(u"p_x64.msi", kNewCode), WideString(u"x"), false};
        EXPECT_EQ(RunInstaller(k.plat, step, SourceList(), restartNeeded, k.log), c.result);
        EXPECT_EQ(restartNeeded, c.restartNeeded);
        EXPECT_EQ(k.Leaks(), "");
    }
}

TEST(RunProcessAndWait, StartErrorOrExitCodeOrTimeOut) {
    Kit k;
    k.processes.script = {ProcessOutcome::StartFails(2), ProcessOutcome::Exit(1618),
                          ProcessOutcome::Unreadable(), ProcessOutcome::Hangs(),
                          ProcessOutcome::Exit(1460)};
    // Past its limit it is ended: STILL_ACTIVE, whatever its exit code then.
    const struct {
        uint32_t code;
        bool started;
    } kEnds[] = {{2, false}, {1618, true}, {0, true}, {259, true}, {1460, true}};
    for (const auto& end : kEnds) {
        bool started = false;
        EXPECT_EQ(RunProcessAndWait(k.processes, WideString(u"x"), &started, 5000), end.code);
        EXPECT_EQ(started, end.started);
    }
    // The longest line Windows takes is started; one unit more is refused, not cut.
    std::u16string longest(kMaxCommandLine, u'x');
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(longest)), 0u);
    EXPECT_EQ(RunProcessAndWait(k.processes, WideString(longest + u"x")), 206u);
    EXPECT_EQ(k.processes.commandLines.size(), 6u);
    EXPECT_EQ(k.processes.limits, (std::vector<uint32_t>{5000, 5000, 5000, 5000, kNoLimit}));
    EXPECT_EQ(k.Leaks(), "");
}

// Only KSProcess and KSProcess64 change, and only when every step succeeds.
TEST(PatchUpgradeSequence, AllOrNothing) {
    struct {
        const char* name;
        const char* fault;
        bool patched;
    } cases[] = {
        {"success", nullptr, true},
        {"no_cached_path", "ProductInfo", false},
        {"rows_unreadable", "ReadRemovalActions", false},
        {"write_fails", "WriteConditions", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.Install(kOldCode, u"5.0.9", u"x.msi");
        if (c.fault) k.installer.faults.FailNext(c.fault, 1627);
        PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
        const auto& sequence = k.installer.Package(kCached).sequence;
        EXPECT_EQ(sequence.at(u"KSProcess"),
                  c.patched ? u"(REMOVE=\"ALL\") AND NOT UPGRADINGPRODUCTCODE" : u"REMOVE=\"ALL\"");
        EXPECT_EQ(sequence.at(u"Other"), u"1");
        EXPECT_EQ(k.log.Has("warning: sequence patch"), !c.patched);
        EXPECT_EQ(k.Leaks(), "");
    }
    Kit k;
    PatchUpgradeSequence(k.installer, WideString(), k.log);
    EXPECT_TRUE(k.installer.calls.empty());
    k.Install(kOldCode, u"5.0.9", u"x.msi");
    PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
    PatchUpgradeSequence(k.installer, WideString(kOldCode), k.log);
    EXPECT_EQ(k.installer.calls.size(), 1u);  // the second finds nothing to change
}

// A product whose upgrade failed repairs and removes itself as before: the original condition
// stays, only an upgrade's removal is taken out.
TEST(GuardedCondition, KeepsTheOriginal) {
    const struct {
        const char16_t* condition;
        const char16_t* guarded;
    } cases[] = {
        {u"REMOVE=\"ALL\"", u"(REMOVE=\"ALL\") AND NOT UPGRADINGPRODUCTCODE"},
        {u"", u"NOT UPGRADINGPRODUCTCODE"},
        {u"A OR B", u"(A OR B) AND NOT UPGRADINGPRODUCTCODE"},
        {u"Not UPGRADINGPRODUCTCODE", u"Not UPGRADINGPRODUCTCODE"},
        {u"REMOVE AND NOT upgradingproductcode", u"REMOVE AND NOT upgradingproductcode"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(GuardedCondition(WideString(c.condition)), WideString(c.guarded));
}

std::string Pem(const std::string& body, const char* eol = "\n") {
    return "-----BEGIN CERTIFICATE-----" + (eol + body) + eol + "-----END CERTIFICATE-----";
}

TEST(CertificatePieces, EachPemBlockAloneElseTheWhole) {
    const std::string a = Pem("QUJD"), b = Pem("REVG"), crlf = Pem("QUJD", "\r\n");
    const std::string unended = "-----BEGIN CERTIFICATE-----\nR0hJ\n";
    const std::string der("\x30\x82\x01\x0a\x00", 5);
    const std::string pkcs7 = "-----BEGIN PKCS7-----\nQUJD\n-----END PKCS7-----\n";
    const struct {
        const char* name;
        std::string bytes;
        std::vector<std::string> pieces;
    } cases[] = {
        {"der", der, {der}},
        {"empty", "", {""}},
        {"other_pem_whole", pkcs7, {pkcs7}},
        {"one_block", a + "\n", {a}},
        {"several", a + "\n" + b + "\n" + a, {a, b, a}},
        {"crlf", crlf + "\r\n" + crlf + "\r\n", {crlf, crlf}},
        {"junk_around", "subject=CN=A\n" + a + "\nBag Attributes\n\n" + b + "\ntrailer", {a, b}},
        {"block_without_end", unended + b + "\n", {unended, b}},
        {"last_without_end", a + "\n" + unended, {a, unended}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> pieces;
        for (auto [at, size] :
             CertificatePieces(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end())))
            pieces.push_back(c.bytes.substr(at, size));
        EXPECT_EQ(pieces, c.pieces);
    }
}

// Certificates go by kind: R roots to Root, I intermediates to CA, E end entities nowhere.
TEST(ImportCertificates, EachByItsKindOnceFileByFile) {
    const std::string broken = "-----BEGIN CERTIFICATE-----\nbroken\n";
    // A file without bytes cannot be read.
    using Files = std::vector<std::pair<std::u16string, std::optional<std::string>>>;
    using Ids = std::vector<std::string>;
    const struct {
        const char* name;
        Files files;
        std::map<std::string, Ids> blobs;
        Ids rootBefore, caBefore;
        std::set<std::string> failing;
        Ids root, ca, log;
    } cases[] = {
        // clang-format off
        {"by_kind", {{u"b.crt", "I1"}, {u"a.cer", "R1"}, {u"c.p7b", "p7"}},
         {{"R1", {"R1"}}, {"I1", {"I1"}}, {"p7", {"E1", "I2", "R2"}}}, {}, {}, {},
         {"R1", "R2"}, {"I2", "I1"},
         {"certificate R1 of a.cer added to Root",
          "warning: certificate E1 of c.p7b not added: end-entity",
          "certificate I2 of c.p7b added to CA", "certificate R2 of c.p7b added to Root",
          "certificate I1 of b.crt added to CA"}},
        {"already_there", {{u"a.cer", "R1"}, {u"b.crt", "I1"}},
         {{"R1", {"R1"}}, {"I1", {"I1"}}}, {"R1"}, {"I1"}, {},
         {"R1"}, {"I1"},
         {"certificate R1 of a.cer already in Root", "certificate I1 of b.crt already in CA"}},
        // Added once, then found: Wine loses a certificate added twice.
        {"one_root_in_three_forms", {{u"r.cer", "R1"}, {u"r.crt", Pem("UjE=")}, {u"r.p7b", "p7"}},
         {{"R1", {"R1"}}, {Pem("UjE="), {"R1"}}, {"p7", {"R1"}}}, {}, {}, {},
         {"R1"}, {},
         {"certificate R1 of r.cer added to Root", "certificate R1 of r.p7b already in Root",
          "certificate R1 of r.crt already in Root"}},
        {"every_pem_block",
         {{u"chain.crt", "junk\n" + Pem("SQ==") + "\n" + broken + Pem("Ug==", "\r\n")}},
         {{Pem("SQ=="), {"I1"}}, {Pem("Ug==", "\r\n"), {"R1"}}}, {}, {}, {},
         {"R1"}, {"I1"},
         {"certificate I1 of chain.crt added to CA",
          "warning: certificate file chain.crt: no certificate from byte 64 (0x80092009)",
          "certificate R1 of chain.crt added to Root"}},
        {"unreadable_and_broken_skipped",
         {{u"gone.cer", std::nullopt}, {u"junk.cer", "junk"},
          {u"huge.cer", std::string((1 << 20) + 1, 'x')}, {u"z.cer", "R1"}},
         {{"R1", {"R1"}}}, {}, {}, {},
         {"R1"}, {},
         {"warning: certificate file gone.cer: no certificate from byte 0 (2)",
          "warning: certificate file huge.cer: no certificate from byte 0 (223)",
          "warning: certificate file junk.cer: no certificate from byte 0 (0x80092009)",
          "certificate R1 of z.cer added to Root"}},
        {"failed_addition_goes_on", {{u"a.cer", "p7"}}, {{"p7", {"R1", "I1"}}}, {}, {}, {"R1"},
         {}, {"I1"},
         {"error: certificate R1 of a.cer not added to Root (5)",
          "certificate I1 of a.cer added to CA"}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        for (const auto& [name, bytes] : c.files) {
            if (bytes) {
                k.files.AddFile(u"C:\\Kit", name, *bytes);
            } else {
                k.files.Add(u"C:\\Kit", name);
            }
        }
        k.certificates.blobs = c.blobs;
        k.certificates.root = c.rootBefore;
        k.certificates.ca = c.caBefore;
        k.certificates.failingAdds = c.failing;
        KitFolder kit = ReadKitFolder(k.files);
        ImportCertificates(k.certificates, kit, ReadCertificateFiles(k.files, kit), k.log);
        EXPECT_EQ(k.certificates.root, c.root);
        EXPECT_EQ(k.certificates.ca, c.ca);
        EXPECT_EQ(k.log.lines, c.log);
        EXPECT_EQ(k.Leaks(), "");
    }
}

// A signature its own key did not verify is unchecked where no provider takes the key or the
// check knows no such algorithm; then the key identifiers decide. Rows by Wine 8's 32-bit answers
// as measured: RSA, P-256 and P-384 keys import and verify; Ed25519, brainpool, P-521 and an
// RSA-PSS key import nowhere and answer NTE_BAD_ALGID; an RSA key with a PSS signature imports
// yet answers NTE_BAD_ALGID; another key's signature answers 0x13D (ECDSA) or NTE_BAD_SIGNATURE.
TEST(ImportCertificates, KindByWhatCanBeKnown) {
    constexpr auto kRoot = CertificateKind::kRoot, kCa = CertificateKind::kIntermediate,
                   kEnd = CertificateKind::kEndEntity;
    const struct {
        const char* name;
        bool namesItself;
        uint32_t check;
        bool provider, ca;
        std::string authority;  // its key identifier is "k"
        CertificateKind kind;
        bool unchecked, disagree;
    } cases[] = {
        {"p256_verified", true, 0, false, false, "other", kRoot, false, false},
        {"p256_signed_by_another_key", true, 0x13D, true, true, "", kCa, false, false},
        {"rsa_signed_by_another_key", true, 0x80090006, true, false, "k", kEnd, false, false},
        {"other_issuer", false, 0x80090008, false, true, "", kCa, false, false},
        {"ed25519_no_authority", true, 0x80090008, false, false, "", kRoot, true, false},
        {"pss_key_own_authority", true, 0x80090008, false, true, "k", kRoot, true, false},
        {"brainpool_other_authority", true, 0x80090008, false, true, "j", kCa, true, false},
        {"rsa_key_pss_signature", true, 0x80090008, true, true, "k", kRoot, true, true},
        {"unknown_algo_other_authority", true, 0x80091002, false, false, "j", kEnd, true, false},
        {"not_supported_with_provider", true, 0x80090029, true, false, "", kRoot, true, true},
        // An answer no Microsoft page promises for a missing provider: still unchecked.
        {"no_provider_other_answer", true, 0x80070057, false, true, "k", kRoot, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Certificate certificate{
            {},         {},   c.namesItself, c.check,
            c.provider, c.ca, {'k'},         {c.authority.begin(), c.authority.end()}};
        bool unchecked = !c.unchecked, disagree = !c.disagree;
        EXPECT_EQ(KindOf(certificate, unchecked, disagree), c.kind);
        EXPECT_EQ(unchecked, c.unchecked);
        EXPECT_EQ(disagree, c.disagree);
    }
}

TEST(RunInitTool, RunsOnlyFromAFolderOfAUsableComponent) {
    struct {
        const char* name;
        int state;
        const char16_t* path;
        const char* command;
    } cases[] = {
        {"local", 3, u"C:\\Program Files\\Q\\lib\\key.dll",
         "\"C:\\Program Files\\Q\\lib\\ordo_tool.exe\" /init"},
        {"broken", 0, u"C:\\Q\\key.dll", nullptr},
        {"unknown_empty_path", -1, u"", nullptr},
        {"negative_with_folder", -2, u"D:\\Apps\\X\\lib\\key.dll",
         "\"D:\\Apps\\X\\lib\\ordo_tool.exe\" /init"},
        {"no_folder", 3, u"key.dll", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.installer.products[kNewCode].components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {
            c.state, c.path};
        k.processes.script = {ProcessOutcome::Exit(3010)};
        ToolResult r = RunInitTool(k.plat, WideString(kNewCode), 60, k.log);
        EXPECT_EQ(r.ran, c.command != nullptr);
        EXPECT_EQ(r.code, c.command ? 3010u : 0u);
        EXPECT_EQ(k.Started(),
                  c.command ? std::vector<std::string>{c.command} : std::vector<std::string>{});
    }
    // A tool that fails is a warning with Windows' text; 0 and 3010 are none.
    for (uint32_t code : {0u, 3010u, 5u}) {
        Kit k;
        k.ToolInstalledFor(kNewCode);
        k.processes.script = {ProcessOutcome::Exit(code)};
        RunInitTool(k.plat, WideString(kNewCode), 60, k.log);
        EXPECT_EQ(k.log.Has("warning: the tool failed (5): text of 5"), code == 5) << code;
    }
}

}  // namespace
}  // namespace qv::testing
