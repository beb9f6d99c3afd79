#include <gtest/gtest.h>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorKeyDeleted = 1018;

std::u16string Join(const std::u16string& parent, std::u16string_view name) {
    return parent.empty() ? Fold(name) : parent + u"\\" + Fold(name);
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

class FakeRegistry::Key : public RegistryKey {
  public:
    Key(FakeRegistry& registry, std::u16string path) : registry_(registry), path_(std::move(path)) {
        ++registry_.openKeys_;
    }
    ~Key() override { --registry_.openKeys_; }

    uint32_t CallDeleteKeyEx(ProcAddress entry, const char16_t* name, uint32_t access) override {
        return Call("CallDeleteKeyEx", "!RegDeleteKeyExW", entry, name, " " + Hex(access));
    }
    uint32_t CallDeleteKey(ProcAddress entry, const char16_t* name) override {
        return Call("CallDeleteKey", "!RegDeleteKeyW", entry, name, "");
    }

  private:
    uint32_t Call(const std::string& method, const std::string& function, ProcAddress entry,
                  const char16_t* name, const std::string& rest) {
        std::string entryName = registry_.system ? registry_.system->EntryName(entry) : "";
        registry_.log.Add(method + " " + entryName + " " +
                          (name ? ToUtf8(WideString(name)) : "(null)") + rest);
        // Calling through any other address would crash on Windows.
        if (registry_.system && !EndsWith(entryName, function)) {
            ADD_FAILURE() << method << " through " << Hex(static_cast<uint32_t>(entry)) << " ("
                          << entryName << ")";
            return kErrorInvalidParameter;
        }
        if (auto fault = registry_.faults.Take(method)) return *fault;
        if (name == nullptr) return kErrorInvalidParameter;
        return registry_.Delete(path_, name);
    }

    FakeRegistry& registry_;
    std::u16string path_;
};

void FakeRegistry::AddKey(const std::u16string& path) {
    std::u16string key = Fold(path);
    for (size_t at = key.find(u'\\'); at != std::u16string::npos; at = key.find(u'\\', at + 1)) {
        keys_.insert(key.substr(0, at));
    }
    if (!key.empty()) keys_.insert(key);
}

bool FakeRegistry::HasKey(const std::u16string& path) const {
    return path.empty() || keys_.count(Fold(path)) != 0;
}

uint32_t FakeRegistry::Delete(const std::u16string& parent, const char16_t* name) {
    if (!HasKey(parent)) return kErrorKeyDeleted;
    std::u16string target = Join(parent, name);
    if (keys_.count(target) == 0) return kErrorFileNotFound;
    // These delete functions refuse a key that still has subkeys.
    std::u16string children = target + u"\\";
    auto next = keys_.lower_bound(children);
    if (next != keys_.end() && next->compare(0, children.size(), children) == 0) {
        return kErrorAccessDenied;
    }
    keys_.erase(target);
    return kErrorSuccess;
}

uint32_t FakeRegistry::CreateKey(const char16_t* path, uint32_t access,
                                 std::unique_ptr<RegistryKey>& out) {
    log.Add("CreateKey " + (path ? ToUtf8(WideString(path)) : "(null)") + " " + Hex(access));
    if (auto fault = faults.Take("CreateKey")) return *fault;
    if (path == nullptr) return kErrorInvalidParameter;
    AddKey(path);
    out = std::make_unique<Key>(*this, Fold(path));
    return kErrorSuccess;
}

uint32_t FakeRegistry::OpenKey(const char16_t* path, uint32_t access,
                               std::unique_ptr<RegistryKey>& out) {
    log.Add("OpenKey " + (path ? ToUtf8(WideString(path)) : "(null)") + " " + Hex(access));
    if (auto fault = faults.Take("OpenKey")) return *fault;
    if (path == nullptr) return kErrorInvalidParameter;
    if (!HasKey(path)) return kErrorFileNotFound;
    out = std::make_unique<Key>(*this, Fold(path));
    return kErrorSuccess;
}

}  // namespace qv::fakes
