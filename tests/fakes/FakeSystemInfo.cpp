#include <gtest/gtest.h>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorModNotFound = 126;
constexpr uint32_t kErrorProcNotFound = 127;
constexpr uint32_t kErrorPrivilegeNotHeld = 1314;
constexpr uint32_t kErrorNoSuchPrivilege = 1313;

// The loader's name comparison: case-insensitive, ".dll" implied when there is no extension.
std::u16string ModuleKey(std::u16string_view name) {
    std::u16string key = Fold(name);
    size_t base = key.rfind(u'\\');
    if (key.find(u'.', base == std::u16string::npos ? 0 : base) == std::u16string::npos) {
        key += u".DLL";
    }
    return key;
}

FakeModule* FindModule(std::map<std::u16string, FakeModule>& modules, const char16_t* name) {
    if (name == nullptr) return nullptr;
    for (auto& [key, module] : modules) {
        if (ModuleKey(key) == ModuleKey(name)) return &module;
    }
    return nullptr;
}

ModuleHandle HandleOf(const FakeModule& module) {
    return reinterpret_cast<ModuleHandle>(&module);
}

std::string Text(const char16_t* text) {
    return text ? ToUtf8(WideString(text)) : "(null)";
}

}  // namespace

class FakeSystemInfo::Token : public ProcessToken {
  public:
    explicit Token(FakeSystemInfo& system) : system_(system) { ++system_.openTokens_; }
    ~Token() override { --system_.openTokens_; }

    bool EnablePrivilege(const char16_t* name) override {
        system_.log.Add("EnablePrivilege " + Text(name));
        switch (system_.token) {
            case TokenScript::kEnableFails:
                system_.lastError = kErrorNoSuchPrivilege;
                return false;
            case TokenScript::kNotAllAssigned:
                // AdjustTokenPrivileges succeeds and reports the missing privilege this way.
                system_.lastError = kErrorNotAllAssigned;
                return true;
            default:
                system_.lastError = kErrorSuccess;
                return true;
        }
    }

  private:
    FakeSystemInfo& system_;
};

FakeSystemInfo::FakeSystemInfo() {
    modules[u"kernel32.dll"] = {true, true, {"IsWow64Process"}};
    modules[u"advapi32.dll"] = {true, true, {"RegDeleteKeyW", "RegDeleteKeyExW"}};
    modules[u"API-MS-Win-Core-LocalRegistry-L1-1-0.dll"] = {false, true, {"RegDeleteKeyExW"}};
}

ProcAddress FakeSystemInfo::Export(const std::u16string& module, const std::string& name) const {
    for (const auto& [key, found] : modules) {
        if (ModuleKey(key) != ModuleKey(module)) continue;
        for (const std::string& entry : found.exports) {
            if (entry == name) return reinterpret_cast<ProcAddress>(&entry);
        }
    }
    return 0;
}

std::string FakeSystemInfo::EntryName(ProcAddress entry) const {
    for (const auto& [key, module] : modules) {
        for (const std::string& name : module.exports) {
            if (reinterpret_cast<ProcAddress>(&name) == entry)
                return ToUtf8(WideString(key)) + "!" + name;
        }
    }
    return "";
}

const std::u16string* FakeSystemInfo::ModuleName(ModuleHandle module) const {
    for (const auto& [key, found] : modules) {
        if (found.loaded && HandleOf(found) == module) return &key;
    }
    return nullptr;
}

bool FakeSystemInfo::GetCommandLineArguments(std::vector<WideString>& out) {
    if (splitFails) return false;
    out = arguments;
    return true;
}

bool FakeSystemInfo::IsUserAnAdmin() {
    return admin;
}
uint16_t FakeSystemInfo::GetSystemDefaultUILanguage() {
    return systemUiLanguage;
}
uint32_t FakeSystemInfo::GetLastError() {
    return lastError;
}
WideString FakeSystemInfo::GetSystemDirectory() {
    return systemDirectory;
}

ModuleHandle FakeSystemInfo::GetModuleHandle(const char16_t* name) {
    log.Add("GetModuleHandle " + Text(name));
    FakeModule* module = FindModule(modules, name);
    if (module == nullptr || !module->loaded) {
        lastError = kErrorModNotFound;
        return 0;
    }
    return HandleOf(*module);
}

ModuleHandle FakeSystemInfo::LoadLibrary(const char16_t* name) {
    log.Add("LoadLibrary " + Text(name));
    FakeModule* module = FindModule(modules, name);
    if (module == nullptr || !module->loadable) {
        lastError = kErrorModNotFound;
        return 0;
    }
    module->loaded = true;
    return HandleOf(*module);
}

ProcAddress FakeSystemInfo::GetProcAddress(ModuleHandle module, const char* name) {
    const std::u16string* key = ModuleName(module);
    log.Add("GetProcAddress " +
            (key ? ToUtf8(WideString(*key)) : Hex(static_cast<uint32_t>(module))) + " " +
            (name ? name : "(null)"));
    if (key == nullptr) {
        lastError = kErrorInvalidHandle;
        return 0;
    }
    ProcAddress entry = name ? Export(*key, name) : 0;
    if (entry == 0) lastError = kErrorProcNotFound;
    return entry;
}

bool FakeSystemInfo::CallIsWow64Process(ProcAddress entry, bool& wow64Out) {
    std::string entryName = EntryName(entry);
    log.Add("CallIsWow64Process " + entryName);
    if (entryName.size() < 15 || entryName.substr(entryName.size() - 15) != "!IsWow64Process") {
        ADD_FAILURE() << "IsWow64Process called through " << Hex(static_cast<uint32_t>(entry));
        return false;
    }
    if (wow64 == Wow64::kCallFails) {
        lastError = kErrorAccessDenied;
        return false;
    }
    wow64Out = wow64 == Wow64::kYes;
    return true;
}

std::unique_ptr<ProcessToken> FakeSystemInfo::OpenProcessToken() {
    log.Add("OpenProcessToken");
    if (token == TokenScript::kOpenFails) {
        lastError = kErrorAccessDenied;
        return nullptr;
    }
    return std::make_unique<Token>(*this);
}

bool FakeSystemInfo::ExitWindowsEx(uint32_t flags, uint32_t reason) {
    log.Add("ExitWindowsEx " + Hex(flags) + " " + Hex(reason));
    exitWindowsRequests.emplace_back(flags, reason);
    if (!exitWindowsSucceeds) lastError = kErrorPrivilegeNotHeld;
    return exitWindowsSucceeds;
}

}  // namespace qv::fakes
