#include <cstring>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kErrorPathNotFound = 3;

// Folded, without a trailing backslash: "C:\Kit\" and "c:\kit" are one folder.
std::u16string FolderKey(std::u16string_view folder) {
    std::u16string key = Fold(folder);
    if (!key.empty() && key.back() == u'\\') key.pop_back();
    return key;
}

class Search : public DirectorySearch {
  public:
    Search(std::vector<FolderEntry> entries, int& open)
        : entries_(std::move(entries)), open_(open) {
        ++open_;
    }
    ~Search() override { --open_; }

    WideString Name() const override { return WideString(entries_[at_].name); }
    bool IsDirectory() const override { return entries_[at_].directory; }
    bool Next() override {
        if (at_ + 1 >= entries_.size()) return false;
        ++at_;
        return true;
    }

  private:
    std::vector<FolderEntry> entries_;
    size_t at_ = 0;
    int& open_;
};

}  // namespace

void FakeFileSystem::AddFolder(const std::u16string& folder) {
    std::u16string key = FolderKey(folder);
    if (folders_.count(key) != 0) return;
    auto& entries = folders_[key];
    // A drive root ("C:") has no dot entries.
    if (key.size() > 2) entries = {{u".", true}, {u"..", true}};
}

void FakeFileSystem::Add(const std::u16string& folder, const std::u16string& name, bool directory,
                         const std::u16string& shortName) {
    AddFolder(folder);
    folders_[FolderKey(folder)].push_back({name, directory, shortName});
}

uint32_t FakeFileSystem::GetModuleFileName(char16_t* buffer, uint32_t size) {
    if (size == 0) return 0;
    uint32_t length = static_cast<uint32_t>(modulePath.size());
    uint32_t copied = length < size ? length : size - 1;
    std::memcpy(buffer, modulePath.c_str(), copied * sizeof(char16_t));
    buffer[copied] = 0;
    // Cut short: the whole buffer counts as used, as on Windows since Vista.
    return length < size ? length : size;
}

std::unique_ptr<DirectorySearch> FakeFileSystem::FindFirst(const WideString& pattern,
                                                           uint32_t& error) {
    patterns.push_back(pattern.str());
    ptrdiff_t slash = pattern.FindLastBackslash();
    std::u16string folder = slash < 0 ? currentDirectory.str() : pattern.Left(slash).str();
    std::u16string wildcard = pattern.str().substr(slash + 1);
    auto listing = folders_.find(FolderKey(folder));
    if (listing == folders_.end()) {
        error = kErrorPathNotFound;
        return nullptr;
    }
    std::vector<FolderEntry> matches;
    for (const FolderEntry& entry : listing->second) {
        // The search matches the 8.3 name too: "*.msi" finds "notes.msix" by "NOTES~1.MSI".
        if (MatchesWildcard(wildcard, entry.name) ||
            (!entry.shortName.empty() && MatchesWildcard(wildcard, entry.shortName)))
            matches.push_back(entry);
    }
    if (matches.empty()) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    return std::make_unique<Search>(std::move(matches), openSearches_);
}

namespace {
class FakeLogFile : public LogFile {
  public:
    FakeLogFile(std::string& content, size_t& space) : content_(content), space_(space) {}
    bool Write(const char* bytes, size_t size) override {
        if (size > space_) return false;  // disk full
        space_ -= size;
        content_.append(bytes, size);
        return true;
    }

  private:
    std::string& content_;
    size_t& space_;
};
}  // namespace

std::string FakeFileSystem::Log(const std::u16string& path) const {
    auto it = logs.find(Fold(path));
    return it == logs.end() ? std::string() : it->second;
}

std::unique_ptr<LogFile> FakeFileSystem::CreateLogFile(const WideString& path, bool replace,
                                                       uint32_t& error) {
    if (logCreateError != 0) {
        error = logCreateError;
        return nullptr;
    }
    std::u16string key = Fold(path.str());
    ptrdiff_t slash = path.FindLastBackslash();
    bool planted = false;
    auto listing = folders_.find(FolderKey(path.Left(slash < 0 ? 0 : slash).str()));
    if (listing != folders_.end()) {
        for (const FolderEntry& entry : listing->second)
            planted = planted || Fold(entry.name) == Fold(path.FileName().str());
    }
    if (!replace && (planted || logs.count(key) != 0)) {
        error = kErrorFileExists;
        return nullptr;
    }
    if (replace && planted) {
        error = kErrorAccessDenied;  // a folder of that name
        return nullptr;
    }
    logs[key].clear();
    return std::make_unique<FakeLogFile>(logs[key], logSpace);
}

}  // namespace qv::fakes
