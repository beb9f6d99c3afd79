#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kErrorAccessDenied = 5;

std::string Text(const char16_t* text) {
    return text ? ToUtf8(WideString(text)) : "(null)";
}

}  // namespace

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

uint32_t FakeRegistry::CreateKey(const char16_t* path, uint32_t access) {
    log.Add("CreateKey " + Text(path) + " " + Hex(access));
    if (auto fault = faults.Take("CreateKey")) return *fault;
    if (path == nullptr) return kErrorInvalidParameter;
    AddKey(path);
    return kErrorSuccess;
}

uint32_t FakeRegistry::OpenKey(const char16_t* path, uint32_t access) {
    log.Add("OpenKey " + Text(path) + " " + Hex(access));
    if (auto fault = faults.Take("OpenKey")) return *fault;
    if (path == nullptr) return kErrorInvalidParameter;
    return HasKey(path) ? kErrorSuccess : kErrorFileNotFound;
}

uint32_t FakeRegistry::DeleteSubKey(const char16_t* parent, uint32_t access, const char16_t* name) {
    log.Add("DeleteSubKey " + Text(parent) + " " + Hex(access) + " " + Text(name));
    if (auto fault = faults.Take("DeleteSubKey")) return *fault;
    if (parent == nullptr || name == nullptr) return kErrorInvalidParameter;
    if (!HasKey(parent)) return kErrorFileNotFound;
    std::u16string target = Fold(parent) + u"\\" + Fold(name);
    if (keys_.count(target) == 0) return kErrorFileNotFound;
    // The delete functions refuse a key that still has subkeys.
    std::u16string children = target + u"\\";
    auto next = keys_.lower_bound(children);
    if (next != keys_.end() && next->compare(0, children.size(), children) == 0)
        return kErrorAccessDenied;
    keys_.erase(target);
    return kErrorSuccess;
}

}  // namespace qv::fakes
