#pragma once
// A fake kit folder C:\Kit with setup.exe, its packages and an English catalogue whose texts name
// their ids ("m104"), so tests can tell which box was shown; and the facts a decision starts
// from, built without any fake.
#include <ostream>
#include <string>
#include <vector>

#include "driver/Run.h"
#include "fakes/Fakes.h"
#include "model/Plan.h"

namespace qv {
inline void PrintTo(const WideString& text, std::ostream* os) {
    *os << '"' << ToUtf8(text) << '"';
}
}  // namespace qv

namespace qv::testing {

inline const std::u16string kUpgradeCode = u"{11111111-2222-3333-4444-555555555555}";
inline const std::u16string kOldCode = u"{AAAAAAAA-0000-0000-0000-000000000001}";
inline const std::u16string kNewCode = u"{BBBBBBBB-0000-0000-0000-000000000002}";
inline const std::u16string kToolFolder = u"C:\\Program Files\\Q\\lib\\";
inline const std::string kMsiexec = "\"C:\\windows\\system32\\msiexec.exe\" /i ";
inline const std::u16string kCached = u"C:\\windows\\Installer\\1a2b.msi";

// setup.exe's command line with `args` quoted the way CommandLineToArgvW splits them.
inline std::u16string CommandLineOf(const std::vector<std::u16string>& args) {
    std::u16string line = u"\"C:\\Kit\\setup.exe\"";
    for (const std::u16string& a : args) {
        bool quote = a.empty() || a.find_first_of(u" \t") != std::u16string::npos;
        line += quote ? u" \"" : u" ";
        size_t backslashes = 0;
        for (char16_t c : a) {
            if (c == u'"') line.append(backslashes + 1, u'\\');
            backslashes = c == u'\\' ? backslashes + 1 : 0;
            line += c;
        }
        if (quote) line.append(backslashes, u'\\') += u'"';
    }
    return line;
}

inline PackageIdentity Identity(const std::u16string& name, const std::u16string& code,
                                const std::u16string& version = u"5.0.10") {
    return {WideString(u"C:\\Kit\\" + name), WideString(code), WideString(kUpgradeCode),
            WideString(version), WideString(u"Quorvane CSP")};
}

struct Kit : fakes::FakePlatform {
    Platform plat = platform();
    fakes::FakeLog log;

    Kit() {
        std::map<uint16_t, std::u16string> catalogue;
        for (uint16_t id = 101; id <= 134; ++id) {
            std::string t = "m" + std::to_string(id);
            catalogue[id] = std::u16string(t.begin(), t.end());
        }
        catalogue[102] = u"m102 %s";
        catalogue[103] = u"m103 %s";
        catalogue[127] = u"m127 %s";
        catalogue[128] = u"m128 %s";
        catalogue[131] = u"m131 %s";
        catalogue[133] = u"m133 %s";
        catalogue[134] = u"m134 %s";
        catalogue[116] = u"Hide";
        catalogue[117] = u"Settings";
        catalogue[118] = u"Next";
        catalogue[120] = u"Install";
        resources.SetStrings(catalogue);
        files.folders[u"C:\\KIT"];
        for (int id : {118, 2, 1011, 1014, 1015}) ui.dialogTemplate[id] = {WideString(u"t"), true};
        for (int id : {1006, 1007, 1008, 1009, 1010, 1012, 1013})
            ui.dialogTemplate[id] = {WideString(u"t"), false};
        processes.onExit = [this](const WideString& line, uint32_t code) { Msiexec(line, code); };
    }

    // Whether the installer's upgrade removes the related products of other codes, as it does
    // for an earlier version in its first three fields.
    bool upgradeRemovesOld = true;

    // A successful msiexec /i of a kit package installs its product and, as a major upgrade,
    // removes the related ones.
    void Msiexec(const WideString& line, uint32_t code) {
        if (code != 0 && code != 3010) return;
        for (const auto& [path, package] : installer.packages) {
            const PackageIdentity& id = package.identity;
            if (id.productCode.empty() ||
                fakes::Fold(line.str()).find(u"/I \"" + path + u"\"") == std::u16string::npos)
                continue;
            for (auto& [other, product] : installer.products)
                if (upgradeRemovesOld && product.upgradeCode == kUpgradeCode &&
                    other != id.productCode.str())
                    product.installed = false;
            fakes::FakeProduct& installed = installer.products[id.productCode.str()];
            installed.installed = true;
            installed.upgradeCode = kUpgradeCode;
            installed.info[u"PackageCode"] = package.packageCode.str();
            installed.components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {
                3, kToolFolder + u"key.dll"};
        }
    }

    // A package beside the program.
    fakes::FakePackage& AddPackage(const std::u16string& name, const std::u16string& code,
                                   const std::u16string& version = u"5.0.10") {
        files.AddFile(u"C:\\Kit", name, "package " + ToUtf8(WideString(name)));
        fakes::FakePackage& p = installer.Package(u"C:\\Kit\\" + name);
        p.identity = Identity(name, code, version);
        p.packageCode = WideString(u"{PC " + name + u"}");
        return p;
    }

    // The related product on the machine, installed from `packageName`.
    fakes::FakeProduct& Install(const std::u16string& code, const std::u16string& version,
                                const std::u16string& packageName) {
        fakes::FakeProduct& p = installer.products[code];
        p.installed = true;
        p.upgradeCode = kUpgradeCode;
        p.info = {{u"VersionString", version}, {u"LocalPackage", kCached}};
        p.sources = SourceList{WideString(packageName), {}};
        p.components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {3, kToolFolder + u"key.dll"};
        installer.Package(kCached).sequence = {
            {u"KSProcess", u"REMOVE=\"ALL\""}, {u"KSProcess64", u""}, {u"Other", u"1"}};
        return p;
    }

    // Makes the product that msiexec will install visible to the component lookup, not yet
    // installed.
    void ToolInstalledFor(const std::u16string& code) {
        fakes::FakeProduct& p = installer.products[code];
        if (p.info.empty()) p.installed = false;
        p.components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {3, kToolFolder + u"key.dll"};
    }

    // The seal a release would build in for these files of C:\Kit, as they are now.
    std::string SealOf(const std::vector<std::u16string>& names) {
        std::string seal;
        for (const std::u16string& name : names) {
            const std::string& bytes = files.contents.at(fakes::Fold(u"C:\\KIT\\" + name));
            std::unique_ptr<Sha256> hash = files.NewSha256();
            hash->Add(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            uint8_t digest[32];
            hash->Finish(digest);
            for (uint8_t b : digest)
                seal += "0123456789abcdef"[b >> 4], seal += "0123456789abcdef"[b & 15];
            seal += " " + std::to_string(bytes.size()) + " " + ToUtf8(WideString(name)) + "\n";
        }
        return seal;
    }

    int RunWith(std::vector<std::u16string> args) {
        system.commandLine = WideString(CommandLineOf(args));
        return Run(plat, WideString(args.empty() ? u"" : u"args"));
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> out;
        for (const auto& b : ui.boxes) out.push_back(ToUtf8(b.text));
        return out;
    }
    std::vector<std::string> Started() const {
        std::vector<std::string> out;
        for (const auto& c : processes.commandLines) out.push_back(ToUtf8(c));
        return out;
    }
};

}  // namespace qv::testing
