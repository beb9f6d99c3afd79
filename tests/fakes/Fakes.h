#pragma once
// An in-memory Windows behind the seams: plain maps, with Windows' result codes where the product
// sees them. A fault can be injected at any call by its method's name.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "common/Log.h"
#include "common/ResultCodes.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv::fakes {

// Upper-cases ASCII, Latin-1 and Cyrillic letters, as the file system and registry compare names.
std::u16string Fold(std::u16string_view text);

// Scripted failures, queued per method name: the call after `skip` further calls fails.
class Faults {
  public:
    void FailNext(const std::string& method, uint32_t code, unsigned skip = 0,
                  ReadStep step = ReadStep::kValue);
    std::optional<ReadStatus> Take(const std::string& method);
    size_t Pending() const;

  private:
    struct Fault {
        unsigned skip;
        ReadStatus status;
    };
    std::map<std::string, std::deque<Fault>> faults_;
};

// ---------------------------------------------------------------------------------------------
// Installer

struct FakeProduct {
    std::u16string upgradeCode;
    bool installed = true;
    std::map<std::u16string, std::u16string> info;  // "VersionString", "LocalPackage"
    std::optional<SourceList> sources;              // none: the source list cannot be read
    std::map<std::u16string, std::pair<int, std::u16string>> components;  // state, path
};

struct FakePackage {
    PackageIdentity identity;
    WideString packageCode;
    std::vector<WideString> cabinets;  // external ones of its Media table
    WideString looseFile;              // a file read uncompressed from beside it
    ReleaseProperties release;
    std::map<std::u16string, std::u16string> sequence;  // InstallExecuteSequence: conditions
};

class FakeInstaller : public Installer {
  public:
    std::map<std::u16string, FakeProduct> products;  // by code, in enumeration order of codes
    std::map<std::u16string, FakePackage> packages;  // by folded path
    bool internalUiDisabled = false;
    std::vector<std::string> calls;  // the calls that change something, in order
    Faults faults;

    FakePackage& Package(const std::u16string& path) { return packages[Fold(path)]; }

    void DisableInternalUi() override;
    uint32_t ReadPackageIdentity(const WideString& path, PackageIdentity& identity) override;
    uint32_t ReadPackageCode(const WideString& path, WideString& code) override;
    std::vector<WideString> RelatedProducts(const WideString& upgradeCode) override;
    bool IsInstalled(const WideString& product) override;
    ReadStatus ProductInfo(const WideString& product, const char16_t* attribute,
                           WideString& value) override;
    ReadStatus ReadReleaseProperties(const WideString& package,
                                     ReleaseProperties& properties) override;
    uint32_t ReadSourceList(const WideString& product, SourceList& sources) override;
    uint32_t PointSourceList(const WideString& product, const WideString& packageName) override;
    uint32_t RestoreSourceList(const WideString& product, const SourceList& sources) override;
    uint32_t ReadPackageSources(const WideString& package, std::vector<WideString>& names,
                                WideString& looseFile) override;
    uint32_t ReadRemovalActions(const WideString& package,
                                std::vector<SequenceCondition>& rows) override;
    uint32_t WriteConditions(const WideString& package,
                             const std::vector<SequenceCondition>& rows) override;
    int ComponentPath(const WideString& product, const char16_t* component,
                      WideString& path) override;

  private:
    FakeProduct* Find(const WideString& code);
};

// ---------------------------------------------------------------------------------------------
// Files

class FakeFileSystem : public FileSystem {
  public:
    WideString programPath = u"C:\\Kit\\setup.exe";
    // File names by folded folder path without trailing backslash, in listing order.
    std::map<std::u16string, std::vector<std::u16string>> folders;
    std::map<std::u16string, std::string> contents;  // by folded path: read, or written as a log
    std::set<std::u16string> subfolders;             // by folded path: never listed, only taken
    std::map<std::u16string, std::u16string> logs;   // by folded path: each log made, its SDDL
    int held = 0;                                    // files held open now
    uint32_t logCreateError = 0;                     // non-zero: every CreateLogFile fails with it
    std::map<std::u16string, uint32_t> inUse;       // by folded path: files that cannot be replaced
    std::map<std::u16string, uint32_t> unwritable;  // by folded folder: no file created there
    size_t logSpace = SIZE_MAX;                     // bytes the disk takes before it is full

    // Listed only: gone when opened.
    void Add(const std::u16string& folder, const std::u16string& name);
    std::string Log(const std::u16string& path) const;

    // A file with these bytes beside the others of its folder.
    void AddFile(const std::u16string& folder, const std::u16string& name, std::string bytes);

    WideString ProgramPath() override { return programPath; }
    uint32_t ListFiles(const WideString& folder, std::vector<WideString>& names) override;
    bool IsFolder(const WideString& path) override {
        return subfolders.count(Fold(path.str())) != 0;
    }
    // Not SHA-256, but as deterministic: each byte stirred into 32 by its place.
    std::unique_ptr<Sha256> NewSha256() override;
    std::unique_ptr<HeldFile> Hold(const WideString& path, uint32_t& error) override;
    // The name is taken when a log or a folder entry has it.
    std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                           const char16_t* security, uint32_t& error) override;
};

// ---------------------------------------------------------------------------------------------
// Registry: keys by folded path ("HKLM\\..." the machine's)

class FakeRegistry : public Registry {
  public:
    std::set<std::u16string> keys;
    std::map<std::u16string, uint64_t> qwords;  // by folded key path + "\\" + value name
    std::map<std::u16string, std::vector<WideString>> strings;  // as qwords
    Faults faults;  // "CreateKey", "DeleteKey"; "CreateKey HKLM", "DeleteKey HKLM"

    void AddKey(const std::u16string& path) { keys.insert(Fold(path)); }
    bool HasKey(const std::u16string& path) const { return keys.count(Fold(path)) != 0; }

    uint32_t CreateKey(const char16_t* path) override;
    bool KeyExists(const char16_t* path) override { return HasKey(path); }
    uint32_t SetQword(const char16_t* path, const char16_t* name, uint64_t value) override;
    bool QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) override;
    uint32_t SetStrings(const char16_t* path, const char16_t* name,
                        const std::vector<WideString>& values) override;
    bool QueryStrings(const char16_t* path, const char16_t* name,
                      std::vector<WideString>& values) override;
    // With its subkeys.
    uint32_t DeleteKey(const char16_t* path) override;
};

// ---------------------------------------------------------------------------------------------
// System information and restart

class FakeSystemInfo : public SystemInfo {
  public:
    WideString commandLine = u"\"C:\\Kit\\setup.exe\"";
    bool admin = true;
    WideString tempFolder = u"C:\\Temp\\";
    uint32_t ticks = 1000;  // each reading is 10 ms later
    // IsWow64Process2's answers (process, native); none: Windows lacks it.
    std::optional<std::pair<uint16_t, uint16_t>> machines = {{0x14C, 0x8664}};
    bool wow64 = true;
    bool stationVisible = true;
    uint32_t session = 1;
    bool localSystem = false;
    uint64_t systemTime = 134000000000000000;  // 2025
    uint64_t uptime = 3600000;                 // an hour

    WideString CommandLine() override { return commandLine; }
    bool IsUserAnAdmin() override { return admin; }
    uint16_t SystemDefaultUiLanguage() override { return kLangEnglishUs; }
    uint16_t UserDefaultUiLanguage() override { return kLangEnglishUs; }
    WideString WindowsVersion() override { return u"10.0.19045"; }
    WideString TempFolder() override { return tempFolder; }
    LocalTime Now() override { return {2026, 12, 7, 14, 3, 59, 120}; }
    uint32_t TickCount() override { return ticks += 10; }
    // "text of <code>".
    WideString DescribeError(uint32_t code) override;
    WideString ComputerName() override { return u"PC-7"; }
    WideString SystemDirectory() override { return u"C:\\windows\\system32"; }
    WideString WindowsDirectory() override { return u"C:\\windows"; }
    bool IsLocalSystem() override { return localSystem; }
    bool Wow64Machines(uint16_t& process, uint16_t& native) override {
        if (machines) std::tie(process, native) = *machines;
        return machines.has_value();
    }
    bool IsWow64() override { return wow64; }
    bool IsStationVisible() override { return stationVisible; }
    uint32_t SessionId() override { return session; }
    uint64_t SystemTime() override { return systemTime; }
    uint64_t Uptime() override { return uptime; }
};

class FakeRestarter : public Restarter {
  public:
    bool privilege = true;
    std::deque<uint32_t> shutdownAnswers;    // one per request; then 0
    std::vector<uint32_t> shutdownRequests;  // reasons
    std::vector<uint32_t> sleeps;            // milliseconds

    size_t Requests() const { return shutdownRequests.size(); }

    bool EnableShutdownPrivilege() override { return privilege; }
    uint32_t InitiateShutdown(uint32_t reason) override;
    void Sleep(uint32_t milliseconds) override { sleeps.push_back(milliseconds); }
};

// ---------------------------------------------------------------------------------------------
// Processes

struct ProcessOutcome {
    enum Kind { kExits, kStartFails, kExitCodeUnreadable, kHangs } kind = kExits;
    uint32_t code = 0;  // the exit code, or the start error

    static ProcessOutcome Exit(uint32_t code) { return {kExits, code}; }
    static ProcessOutcome StartFails(uint32_t error) { return {kStartFails, error}; }
    static ProcessOutcome Unreadable() { return {kExitCodeUnreadable, 0}; }
    // Runs until it is ended: its exit code is then the one Terminate gives.
    static ProcessOutcome Hangs() { return {kHangs, 0}; }
};

class FakeProcesses : public Processes {
  public:
    std::deque<ProcessOutcome> script;  // one per Start, in order
    ProcessOutcome otherwise = ProcessOutcome::Exit(0);
    std::vector<WideString> commandLines;  // every Start, failed ones included
    // Locks other processes hold, with the error a new taker gets (183, or 5).
    std::map<std::u16string, uint32_t> heldElsewhere;
    // Answers of CreateLockNamespace and OpenLockNamespace, in turn: 0 made or opened, else the
    // error. None left: 50, no private namespaces, as under Wine.
    std::deque<uint32_t> namespaceAnswers;
    std::vector<std::string> lockCalls;   // "create", "open", and each lock's name
    std::set<std::u16string> securities;  // the descriptors namespaces and locks were made with
    int openNamespaces = 0;
    // What a program that exits does to the machine, given its command line and exit code.
    std::function<void(const WideString&, uint32_t)> onExit;
    int openChildren = 0;
    int heldLocks = 0;
    std::vector<uint32_t> limits;  // each wait's limit, in ms
    int started = 0;               // processes started: each one's id is their count
    bool installing = false;       // an installation runs as long as anyone waits

    bool WaitForInstallation(uint64_t, uint32_t) override { return !installing; }
    std::unique_ptr<ChildProcess> Start(const WideString& commandLine, uint32_t& error) override;
    std::unique_ptr<LockNamespace> CreateLockNamespace(const char16_t* security,
                                                       uint32_t& error) override;
    std::unique_ptr<LockNamespace> OpenLockNamespace(uint32_t& error) override;
    std::unique_ptr<InstanceLock> LockInstance(const char16_t* name, const char16_t* security,
                                               uint32_t& error) override;
    uint32_t LockHeld(const char16_t* name) override;
};

// ---------------------------------------------------------------------------------------------
// Certificate stores

// A certificate is an id, which is also its bytes and its thumbprint; its first letter is its
// kind: R a root, I an intermediate, anything else an end entity.
class FakeCertificateStores : public CertificateStores {
  public:
    std::map<std::string, std::vector<std::string>> blobs;  // the ids each blob holds
    std::vector<std::string> root, ca;  // the machine's stores: ids in the order added
    std::set<std::string> failingAdds;  // ids whose addition fails with 5

    // Unlisted blobs hold none.
    uint32_t Decode(const uint8_t* bytes, size_t size,
                    std::vector<Certificate>& certificates) override;
    bool InMachine(MachineStore store, const Certificate& certificate) override;
    uint32_t AddToMachine(MachineStore store, const Certificate& certificate) override;
};

// ---------------------------------------------------------------------------------------------
// User interface

struct ShownBox {
    WideString text;
    WideString caption;
    uint32_t style;
};

struct ControlState {
    WideString text;
    bool visible = true;
    bool checked = false;
};

class FakeDialogWindow : public DialogWindow {
  public:
    std::map<int, ControlState> controls;
    bool ended = false;
    IconHandle bigIcon = 0;
    std::set<IconHandle> liveIcons;

    // A user's click: an automatic radio button clears the rest of its group; then WM_COMMAND.
    void Click(int id, DialogHandler& handler);

    void SetItemText(int id, const WideString& text) override { controls[id].text = text; }
    void ShowItem(int id, bool show) override { controls[id].visible = show; }
    // The rest of the group keeps its state, unlike a click.
    void CheckButton(int id) override { controls[id].checked = true; }
    uint32_t IsButtonChecked(int id) override { return controls[id].checked ? 1 : 0; }
    void EndDialog(intptr_t) override { ended = true; }
    IconHandle LoadIcon32(int resource) override;
    void SetBigIcon(IconHandle icon) override { bigIcon = icon; }
    void DestroyIcon(IconHandle icon) override;
};

class FakeUi : public Ui {
  public:
    std::vector<ShownBox> boxes;
    // Answers in order; without one, the box's first button. 0 means it cannot be shown.
    std::deque<int> answers;
    std::map<int, ControlState> dialogTemplate;  // control id → initial text, visibility
    std::deque<int> clicks;                      // ids the user clicks, until EndDialog
    uint32_t dialogError = 0;                    // non-zero: the dialog fails with it
    // The controls after WM_INITDIALOG and after each click of the last dialog.
    std::vector<std::map<int, ControlState>> dialogStates;
    std::unique_ptr<FakeDialogWindow> lastDialog;

    std::optional<std::string> output;  // standard output, when there is one: what was printed
    std::function<void()> onBox;        // called as each box is shown

    int MessageBox(const WideString& text, const WideString& caption, uint32_t style) override;
    intptr_t DialogBox(int templateId, DialogHandler& handler, uint32_t& error) override;
    bool Print(const WideString& text) override {
        if (output) *output += ToUtf8(text);
        return output.has_value();
    }
};

// Raw string-table blocks of the current UI language, by block number.
class FakeResources : public Resources {
  public:
    std::map<uint16_t, std::vector<char16_t>> blocks;
    std::optional<std::string> seal;

    // Replaces all blocks by the table of `strings` (message id → text).
    void SetStrings(const std::map<uint16_t, std::u16string>& strings);

    bool FindStringBlockNeutral(uint16_t block, ResourceBlock& out) override;
    bool FindStringBlock(uint16_t block, ResourceBlock& out) override {
        return FindStringBlockNeutral(block, out);
    }
    bool FindSeal(const char*& text, size_t& size) override {
        if (seal) text = seal->data(), size = seal->size();
        return seal.has_value();
    }
};

// Keeps the lines as the log file has them, without the time.
class FakeLog : public Log {
  public:
    std::vector<std::string> lines;
    bool Has(std::string_view part) const;

    void Add(Severity severity, const WideString& text, const uint32_t* code) override;
};

// ---------------------------------------------------------------------------------------------

struct FakePlatform {
    FakePlatform() = default;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;

    FakeInstaller installer;
    FakeFileSystem files;
    FakeRegistry registry;
    FakeProcesses processes;
    FakeCertificateStores certificates;
    FakeUi ui;
    FakeResources resources;
    FakeSystemInfo system;
    FakeRestarter restarter;

    Platform platform() {
        return {installer, files,     registry, processes, certificates,
                ui,        resources, system,   restarter};
    }
    // What is still open or scripted and unused, one "name count" per kind; empty when nothing.
    std::string Leaks() const;
};

}  // namespace qv::fakes
