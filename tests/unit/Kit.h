#pragma once
// A fake kit folder C:\Kit with setup.exe, its packages and an English catalogue whose texts name
// their ids ("m104"), so tests can tell which box was shown.
#include <ostream>
#include <string>
#include <vector>

#include "driver/Run.h"
#include "fakes/Fakes.h"

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

struct Kit : fakes::FakePlatform {
    Platform plat = platform();
    fakes::FakeLog log;

    Kit() {
        std::map<uint16_t, std::u16string> catalogue;
        for (uint16_t id = 101; id <= 126; ++id) {
            std::string t = "m" + std::to_string(id);
            catalogue[id] = std::u16string(t.begin(), t.end());
        }
        catalogue[102] = u"m102 %s";
        catalogue[103] = u"m103 %s";
        catalogue[116] = u"Hide";
        catalogue[117] = u"Settings";
        catalogue[118] = u"Next";
        catalogue[120] = u"Install";
        resources.SetStrings(catalogue);
        system.wow64 = true;
        files.AddFolder(u"C:\\Kit");
        ui.dialogTemplate = {
            {118, {WideString(u"Install"), true}},     {2, {WideString(u"Cancel"), true}},
            {1006, {WideString(u"Russian"), false}},   {1007, {WideString(u"English"), false}},
            {1008, {WideString(u"KC1"), false}},       {1009, {WideString(u"KC2"), false}},
            {1010, {WideString(u"KC3"), false}},       {1011, {WideString(u"Vendor"), true}},
            {1012, {WideString(u"Language:"), false}}, {1013, {WideString(u"Level:"), false}},
            {1014, {WideString(u"Welcome"), true}},    {1015, {WideString(u"Settings"), true}},
        };
    }

    // A package beside the program; `flags` null leaves ISReleaseFlags out.
    fakes::FakePackage& AddPackage(const std::u16string& name, const std::u16string& code,
                                   const std::u16string& version = u"5.0.10",
                                   const std::u16string& language = u"1033") {
        files.Add(u"C:\\Kit", name);
        fakes::FakePackage& p = installer.packages[u"C:\\Kit\\" + name];
        p.properties = {{u"ProductCode", code},
                        {u"UpgradeCode", kUpgradeCode},
                        {u"ProductVersion", version},
                        {u"ProductName", u"Quorvane CSP"},
                        {u"ProductLanguage", language}};
        return p;
    }

    // The related product on the machine, installed from `packageName`.
    fakes::FakeProduct& Install(const std::u16string& code, const std::u16string& version,
                                const std::u16string& packageName) {
        fakes::FakeProduct& p = installer.AddProduct(code, kUpgradeCode);
        p.info[u"VersionString"] = version;
        p.info[u"LocalPackage"] = u"C:\\windows\\Installer\\1a2b.msi";
        p.sourceList[u"PackageName"] = packageName;
        p.components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {3, kToolFolder + u"key.dll"};
        installer.databases[u"C:\\windows\\Installer\\1a2b.msi"].installExecuteSequence = {
            {u"KSProcess", u"REMOVE=\"ALL\""}, {u"KSProcess64", u""}, {u"Other", u"1"}};
        return p;
    }

    // Makes the product that msiexec will install visible to the component lookup.
    void ToolInstalledFor(const std::u16string& code) {
        fakes::FakeProduct* p = installer.FindProduct(code.c_str());
        // Not related through the upgrade code: only msiexec would have put it there.
        if (p == nullptr)
            p = &installer.AddProduct(code, u"{00000000-0000-0000-0000-000000000000}");
        p->components[u"{1C4180E8-7402-4413-ADD3-409E7CFCB225}"] = {3, kToolFolder + u"key.dll"};
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
