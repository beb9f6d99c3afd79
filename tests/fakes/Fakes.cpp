#include "fakes/Fakes.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qv::fakes {

std::u16string Fold(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
            (c >= 0x430 && c <= 0x44F)) {
            c = static_cast<char16_t>(c - 0x20);
        } else if (c >= 0x450 && c <= 0x45F) {  // ё and the other Cyrillic extensions
            c = static_cast<char16_t>(c - 0x50);
        }
    }
    return out;
}

void Faults::FailNext(const std::string& method, uint32_t code, unsigned skip, ReadStep step) {
    faults_[method].push_back({skip, {code, step}});
}

std::optional<ReadStatus> Faults::Take(const std::string& method) {
    auto it = faults_.find(method);
    if (it == faults_.end() || it->second.empty()) return std::nullopt;
    Fault& next = it->second.front();
    if (next.skip > 0) {
        --next.skip;
        return std::nullopt;
    }
    ReadStatus status = next.status;
    it->second.pop_front();
    return status;
}

size_t Faults::Pending() const {
    size_t n = 0;
    for (const auto& [method, queue] : faults_) n += queue.size();
    return n;
}

// --- installer --------------------------------------------------------------------------------

FakeProduct* FakeInstaller::Find(const WideString& code) {
    for (auto& [key, product] : products)
        if (Fold(key) == Fold(code.str())) return &product;
    return nullptr;
}

void FakeInstaller::DisableInternalUi() {
    internalUiDisabled = true;
}

uint32_t FakeInstaller::ReadPackageIdentity(const WideString& path, PackageIdentity& identity) {
    calls.push_back("ReadPackageIdentity " + ToUtf8(path));
    if (auto fault = faults.Take("ReadPackageIdentity")) return fault->code;
    auto it = packages.find(Fold(path.str()));
    if (it == packages.end()) return 1619;  // ERROR_INSTALL_PACKAGE_OPEN_FAILED
    if (it->second.identity.productCode.empty()) return 1620;
    identity = it->second.identity;
    identity.path = path;
    return 0;
}

uint32_t FakeInstaller::ReadPackageCode(const WideString& path, WideString& code) {
    auto it = packages.find(Fold(path.str()));
    if (it == packages.end()) return 1619;
    code = it->second.packageCode;
    return 0;
}

std::vector<WideString> FakeInstaller::RelatedProducts(const WideString& upgradeCode) {
    std::vector<WideString> codes;
    for (const auto& [code, product] : products)
        if (!upgradeCode.empty() && product.upgradeCode == upgradeCode.str())
            codes.emplace_back(code);
    return codes;
}

bool FakeInstaller::IsInstalled(const WideString& product) {
    FakeProduct* found = Find(product);
    return found != nullptr && found->installed;
}

ReadStatus FakeInstaller::ProductInfo(const WideString& product, const char16_t* attribute,
                                      WideString& value) {
    if (auto fault = faults.Take("ProductInfo")) return *fault;
    FakeProduct* found = Find(product);
    if (found == nullptr) return {kErrorUnknownProduct, ReadStep::kLength};
    auto it = found->info.find(attribute);
    if (it == found->info.end()) return {1610, ReadStep::kLength};  // ERROR_UNKNOWN_PROPERTY
    value = WideString(it->second);
    return {};
}

ReadStatus FakeInstaller::ReadReleaseProperties(const WideString& package,
                                                ReleaseProperties& properties) {
    if (auto fault = faults.Take("ReadReleaseProperties")) {
        // What was read before the failing step stays read.
        if (fault->step == ReadStep::kProductLanguage)
            properties.releaseFlags = Package(package.str()).release.releaseFlags;
        return *fault;
    }
    auto it = packages.find(Fold(package.str()));
    if (it == packages.end()) return {1619, ReadStep::kOpen};
    properties = it->second.release;
    return {};
}

uint32_t FakeInstaller::ReadSourceList(const WideString& product, SourceList& sources) {
    FakeProduct* found = Find(product);
    if (found == nullptr) return kErrorUnknownProduct;
    if (!found->sources) return kErrorBadConfiguration;
    sources = *found->sources;
    return 0;
}

uint32_t FakeInstaller::PointSourceList(const WideString& product, const WideString& name) {
    calls.push_back("PointSourceList " + ToUtf8(product) + " " + ToUtf8(name));
    FakeProduct* found = Find(product);
    if (found == nullptr) return kErrorUnknownProduct;
    found->sources = SourceList{name, {}};
    return 0;
}

uint32_t FakeInstaller::RestoreSourceList(const WideString& product, const SourceList& sources) {
    calls.push_back("RestoreSourceList " + ToUtf8(product) + " " + ToUtf8(sources.packageName));
    FakeProduct* found = Find(product);
    if (found == nullptr) return kErrorUnknownProduct;
    found->sources = sources;
    return 0;
}

uint32_t FakeInstaller::ReadPackageSources(const WideString& package,
                                           std::vector<WideString>& names, WideString& looseFile) {
    auto it = packages.find(Fold(package.str()));
    if (it == packages.end()) return 1619;
    names = it->second.cabinets;
    looseFile = it->second.looseFile;
    return 0;
}

uint32_t FakeInstaller::ReadRemovalActions(const WideString& package,
                                           std::vector<SequenceCondition>& rows) {
    if (auto fault = faults.Take("ReadRemovalActions")) return fault->code;
    auto it = packages.find(Fold(package.str()));
    if (it == packages.end()) return 1619;
    rows.clear();
    for (const auto& [action, condition] : it->second.sequence)
        if (action == u"KSProcess" || action == u"KSProcess64")
            rows.push_back({WideString(action), WideString(condition)});
    return 0;
}

uint32_t FakeInstaller::WriteConditions(const WideString& package,
                                        const std::vector<SequenceCondition>& rows) {
    calls.push_back("WriteConditions " + ToUtf8(package));
    if (auto fault = faults.Take("WriteConditions")) return fault->code;
    FakePackage& written = Package(package.str());
    for (const SequenceCondition& row : rows)
        written.sequence[row.action.str()] = row.condition.str();
    return 0;
}

int FakeInstaller::ComponentPath(const WideString& product, const char16_t* component,
                                 WideString& path) {
    FakeProduct* found = Find(product);
    if (found == nullptr) return -1;  // INSTALLSTATE_UNKNOWN
    auto it = found->components.find(component);
    if (it == found->components.end()) return -1;
    path = WideString(it->second.second);
    return it->second.first;
}

// --- files ------------------------------------------------------------------------------------

namespace {

// Folded, without a trailing backslash: "C:\Kit\" and "c:\kit" are one folder.
std::u16string FolderKey(std::u16string_view folder) {
    std::u16string key = Fold(folder);
    if (!key.empty() && key.back() == u'\\') key.pop_back();
    return key;
}

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

class FakeHeldFile : public HeldFile {
  public:
    FakeHeldFile(const std::string& bytes, int& held) : bytes_(bytes), held_(held) { ++held_; }
    ~FakeHeldFile() override { --held_; }
    uint64_t Size() override { return bytes_.size(); }
    bool Read(std::vector<uint8_t>& out, size_t most) override {
        size_t n = std::min(most, bytes_.size() - at_);
        out.insert(out.end(), bytes_.begin() + at_, bytes_.begin() + at_ + n);
        at_ += n;
        return true;
    }

  private:
    const std::string& bytes_;
    int& held_;
    size_t at_ = 0;
};

class FakeSha256 : public Sha256 {
  public:
    void Add(const uint8_t* bytes, size_t size) override {
        for (size_t i = 0; i < size; ++i, ++at_)
            digest_[at_ % 32] = static_cast<uint8_t>(digest_[at_ % 32] * 31 + bytes[i] + at_);
    }
    bool Finish(uint8_t (&digest)[32]) override {
        std::copy(digest_, digest_ + 32, digest);
        return true;
    }

  private:
    uint8_t digest_[32] = {};
    size_t at_ = 0;
};

}  // namespace

void FakeFileSystem::Add(const std::u16string& folder, const std::u16string& name) {
    folders[FolderKey(folder)].push_back(name);
}

void FakeFileSystem::AddFile(const std::u16string& folder, const std::u16string& name,
                             std::string bytes) {
    Add(folder, name);
    contents[FolderKey(folder) + u"\\" + Fold(name)] = std::move(bytes);
}

std::unique_ptr<Sha256> FakeFileSystem::NewSha256() {
    return std::make_unique<FakeSha256>();
}

std::unique_ptr<HeldFile> FakeFileSystem::Hold(const WideString& path, uint32_t& error) {
    auto it = contents.find(Fold(path.str()));
    if (it == contents.end()) {
        error = kErrorFileNotFound;
        return nullptr;
    }
    return std::make_unique<FakeHeldFile>(it->second, held);
}

std::string FakeFileSystem::Log(const std::u16string& path) const {
    auto it = contents.find(Fold(path));
    return it == contents.end() ? std::string() : it->second;
}

uint32_t FakeFileSystem::ListFiles(const WideString& folder, std::vector<WideString>& names) {
    auto listing = folders.find(FolderKey(folder.str()));
    if (listing == folders.end()) return 3;  // ERROR_PATH_NOT_FOUND
    for (const std::u16string& name : listing->second) names.emplace_back(name);
    return 0;
}

std::unique_ptr<LogFile> FakeFileSystem::CreateLogFile(const WideString& path, bool replace,
                                                       const char16_t* security, uint32_t& error) {
    std::u16string key = Fold(path.str());
    bool folder = subfolders.count(key) != 0;
    auto folderRefuses = unwritable.find(FolderKey(path.Folder().str()));
    error = logCreateError != 0                           ? logCreateError
            : folderRefuses != unwritable.end()           ? folderRefuses->second
            : replace && inUse.count(key) != 0            ? inUse[key]
            : !replace && (folder || contents.count(key)) ? kErrorFileExists
            : folder                                      ? kErrorAccessDenied
                                                          : 0;
    if (error != 0) return nullptr;
    contents[key].clear();
    logs[key] = security != nullptr ? security : u"";
    return std::make_unique<FakeLogFile>(contents[key], logSpace);
}

// --- registry, system, restart ----------------------------------------------------------------

namespace {
// The machine's keys fail by their own faults ("CreateKey HKLM"), the user's by the method's.
std::string FaultOf(const char* method, const char16_t* path) {
    return std::u16string_view(path).substr(0, 5) == u"HKLM\\" ? method + std::string(" HKLM")
                                                               : method;
}
}  // namespace

uint32_t FakeRegistry::CreateKey(const char16_t* path) {
    if (auto fault = faults.Take(FaultOf("CreateKey", path))) return fault->code;
    AddKey(path);
    return 0;
}

uint32_t FakeRegistry::SetQword(const char16_t* path, const char16_t* name, uint64_t value) {
    if (!HasKey(path)) return kErrorFileNotFound;
    qwords[Fold(path) + u"\\" + Fold(name)] = value;
    return 0;
}

bool FakeRegistry::QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) {
    auto it = qwords.find(Fold(path) + u"\\" + Fold(name));
    if (!HasKey(path) || it == qwords.end()) return false;
    value = it->second;
    return true;
}

uint32_t FakeRegistry::SetStrings(const char16_t* path, const char16_t* name,
                                  const std::vector<WideString>& values) {
    if (!HasKey(path)) return kErrorFileNotFound;
    strings[Fold(path) + u"\\" + Fold(name)] = values;
    return 0;
}

bool FakeRegistry::QueryStrings(const char16_t* path, const char16_t* name,
                                std::vector<WideString>& values) {
    auto it = strings.find(Fold(path) + u"\\" + Fold(name));
    if (!HasKey(path) || it == strings.end()) return false;
    values = it->second;
    return true;
}

uint32_t FakeRegistry::DeleteKey(const char16_t* path) {
    if (auto fault = faults.Take(FaultOf("DeleteKey", path))) return fault->code;
    std::u16string key = Fold(path);
    if (keys.count(key) == 0) return kErrorFileNotFound;
    for (auto it = keys.begin(); it != keys.end();)
        it = *it == key || it->rfind(key + u"\\", 0) == 0 ? keys.erase(it) : std::next(it);
    for (auto it = qwords.begin(); it != qwords.end();)
        it = it->first.rfind(key + u"\\", 0) == 0 ? qwords.erase(it) : std::next(it);
    for (auto it = strings.begin(); it != strings.end();)
        it = it->first.rfind(key + u"\\", 0) == 0 ? strings.erase(it) : std::next(it);
    return 0;
}

WideString FakeSystemInfo::DescribeError(uint32_t code) {
    return FromUtf8("text of " + std::to_string(code));
}

uint32_t FakeRestarter::InitiateShutdown(uint32_t reason) {
    shutdownRequests.push_back(reason);
    if (shutdownAnswers.empty()) return 0;
    uint32_t answer = shutdownAnswers.front();
    shutdownAnswers.pop_front();
    return answer;
}

// --- processes --------------------------------------------------------------------------------

namespace {

class Child : public ChildProcess {
  public:
    Child(ProcessOutcome outcome, int& open, int id, std::vector<uint32_t>& limits,
          std::function<void()> exit)
        : outcome_(outcome), open_(open), id_(id), limits_(limits), exit_(std::move(exit)) {
        ++open_;
    }
    ~Child() override { --open_; }
    bool WaitForExit(uint32_t milliseconds) override {
        limits_.push_back(milliseconds);
        if (outcome_.kind == ProcessOutcome::kHangs) return false;
        exited_ = true;
        if (exit_) exit_();
        return true;
    }
    void Terminate() override {
        outcome_.code = 1460;
        exited_ = true;
    }
    bool ExitCode(uint32_t& code) override {
        if (outcome_.kind == ProcessOutcome::kExitCodeUnreadable) return false;
        code = exited_ ? outcome_.code : 259;  // STILL_ACTIVE before the wait
        return true;
    }
    uint64_t Identity() override { return static_cast<uint64_t>(id_); }

  private:
    ProcessOutcome outcome_;
    int& open_;
    int id_;
    std::vector<uint32_t>& limits_;
    std::function<void()> exit_;
    bool exited_ = false;
};

// A lock or a namespace, counted while held.
template <typename Held>
class Counted : public Held {
  public:
    explicit Counted(int& held) : held_(held) { ++held_; }
    ~Counted() override { --held_; }

  private:
    int& held_;
};

}  // namespace

std::unique_ptr<ChildProcess> FakeProcesses::Start(const WideString& commandLine, uint32_t& error) {
    commandLines.push_back(commandLine);
    ProcessOutcome outcome = otherwise;
    if (!script.empty()) {
        outcome = script.front();
        script.pop_front();
    }
    if (outcome.kind == ProcessOutcome::kStartFails) {
        error = outcome.code;
        return nullptr;
    }
    std::function<void()> exit;
    if (onExit) exit = [this, commandLine, outcome] { onExit(commandLine, outcome.code); };
    return std::make_unique<Child>(outcome, openChildren, ++started, limits, exit);
}

namespace {
std::unique_ptr<LockNamespace> Answer(std::deque<uint32_t>& answers, int& open, uint32_t& error) {
    error = 50;
    if (!answers.empty()) {
        error = answers.front();
        answers.pop_front();
    }
    return error == 0 ? std::make_unique<Counted<LockNamespace>>(open) : nullptr;
}
}  // namespace

std::unique_ptr<LockNamespace> FakeProcesses::CreateLockNamespace(const char16_t* security,
                                                                  uint32_t& error) {
    lockCalls.push_back("create");
    securities.insert(security);
    return Answer(namespaceAnswers, openNamespaces, error);
}

std::unique_ptr<LockNamespace> FakeProcesses::OpenLockNamespace(uint32_t& error) {
    lockCalls.push_back("open");
    return Answer(namespaceAnswers, openNamespaces, error);
}

uint32_t FakeProcesses::LockHeld(const char16_t* name) {
    lockCalls.push_back("look " + ToUtf8(WideString(name)));
    auto other = heldElsewhere.find(name);
    return other != heldElsewhere.end() ? other->second : heldLocks != 0 ? kErrorAlreadyExists : 0;
}

std::unique_ptr<InstanceLock> FakeProcesses::LockInstance(const char16_t* name,
                                                          const char16_t* security,
                                                          uint32_t& error) {
    lockCalls.push_back(ToUtf8(WideString(name)));
    securities.insert(security);
    auto other = heldElsewhere.find(name);
    error = other != heldElsewhere.end() ? other->second : heldLocks != 0 ? kErrorAlreadyExists : 0;
    return error != 0 ? nullptr : std::make_unique<Counted<InstanceLock>>(heldLocks);
}

// --- certificate stores -----------------------------------------------------------------------

uint32_t FakeCertificateStores::Decode(const uint8_t* bytes, size_t size,
                                       std::vector<Certificate>& certificates) {
    auto it = blobs.find(std::string(bytes, bytes + size));
    if (it == blobs.end()) return kCryptNoMatch;
    for (const std::string& id : it->second) {
        Certificate& c = certificates.emplace_back();
        c.encoded.assign(id.begin(), id.end());
        c.thumbprint = FromUtf8(id);
        c.namesItself = id[0] == 'R';
        c.ca = id[0] == 'R' || id[0] == 'I';
    }
    return 0;
}

bool FakeCertificateStores::InMachine(MachineStore store, const Certificate& certificate) {
    const std::vector<std::string>& ids = store == MachineStore::kRoot ? root : ca;
    std::string id(certificate.encoded.begin(), certificate.encoded.end());
    return std::find(ids.begin(), ids.end(), id) != ids.end();
}

uint32_t FakeCertificateStores::AddToMachine(MachineStore store, const Certificate& certificate) {
    if (InMachine(store, certificate)) return kCryptExists;
    std::string id(certificate.encoded.begin(), certificate.encoded.end());
    if (failingAdds.count(id) != 0) return kErrorAccessDenied;
    (store == MachineStore::kRoot ? root : ca).push_back(id);
    return 0;
}

// --- user interface ---------------------------------------------------------------------------

void FakeDialogWindow::Click(int id, DialogHandler& handler) {
    static const std::vector<std::vector<int>> kRadioGroups = {{1006, 1007}, {1008, 1009, 1010}};
    // Escape and the close box send IDCANCEL whatever the dialog holds.
    if (id != 2 && !controls[id].visible) ADD_FAILURE() << "click on hidden control " << id;
    for (const auto& group : kRadioGroups) {
        if (std::find(group.begin(), group.end(), id) == group.end()) continue;
        for (int other : group) controls[other].checked = other == id;
    }
    handler.OnCommand(*this, id);
}

IconHandle FakeDialogWindow::LoadIcon32(int resource) {
    if (resource != 100) return 0;
    IconHandle icon = 0x1000 + liveIcons.size();
    liveIcons.insert(icon);
    return icon;
}

void FakeDialogWindow::DestroyIcon(IconHandle icon) {
    if (liveIcons.erase(icon) == 0) ADD_FAILURE() << "DestroyIcon of an icon not loaded";
}

int FakeUi::MessageBox(const WideString& text, const WideString& caption, uint32_t style) {
    boxes.push_back({text, caption, style});
    if (onBox) onBox();
    const int first = (style & 0xF) == 4 ? 6 : 1;  // IDYES of MB_YESNO, else IDOK
    if (answers.empty()) return first;
    int answer = answers.front();
    answers.pop_front();
    return answer;
}

intptr_t FakeUi::DialogBox(int, DialogHandler& handler, uint32_t& error) {
    error = dialogError;
    if (dialogError != 0) return -1;
    lastDialog = std::make_unique<FakeDialogWindow>();
    FakeDialogWindow& dialog = *lastDialog;
    dialog.controls = dialogTemplate;
    dialogStates.clear();
    handler.OnInitDialog(dialog);
    dialogStates.push_back(dialog.controls);
    while (!dialog.ended && !clicks.empty()) {
        int id = clicks.front();
        clicks.pop_front();
        dialog.Click(id, handler);
        dialogStates.push_back(dialog.controls);
    }
    if (!dialog.ended) ADD_FAILURE() << "dialog still open after the clicks";
    handler.OnDestroy(dialog);
    return 0;
}

void FakeResources::SetStrings(const std::map<uint16_t, std::u16string>& strings) {
    blocks.clear();
    std::map<uint16_t, std::u16string[16]> entries;
    for (const auto& [id, text] : strings) entries[id / 16 + 1][id % 16] = text;
    for (const auto& [number, texts] : entries) {
        std::vector<char16_t>& block = blocks[number];
        for (const std::u16string& text : texts) {
            block.push_back(static_cast<char16_t>(text.size()));
            block.insert(block.end(), text.begin(), text.end());
        }
    }
}

bool FakeResources::FindStringBlockNeutral(uint16_t block, ResourceBlock& out) {
    auto it = blocks.find(block);
    if (it == blocks.end()) return false;
    out.data = it->second.data();
    out.units = it->second.size();
    return true;
}

bool FakeLog::Has(std::string_view part) const {
    for (const std::string& line : lines)
        if (line.find(part) != std::string::npos) return true;
    return false;
}

void FakeLog::Add(Severity, const WideString& text, const uint32_t* code) {
    lines.push_back(ToUtf8(code ? Joined({text, " (", CodeText(*code), ")"}) : text));
}

std::string FakePlatform::Leaks() const {
    std::string out;
    auto note = [&](const char* what, size_t count) {
        if (count != 0)
            out += std::string(out.empty() ? "" : ", ") + what + " " + std::to_string(count);
    };
    note("child processes", static_cast<size_t>(processes.openChildren));
    note("held files", static_cast<size_t>(files.held));
    note("instance locks", static_cast<size_t>(processes.heldLocks));
    note("icons", ui.lastDialog ? ui.lastDialog->liveIcons.size() : 0);
    note("unused installer faults", installer.faults.Pending());
    note("unused registry faults", registry.faults.Pending());
    return out;
}

}  // namespace qv::fakes
