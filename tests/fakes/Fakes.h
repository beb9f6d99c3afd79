#pragma once
// In-memory stand-ins for every platform seam, with Windows' result codes and buffer protocols.
// Calls are logged as "Method arg arg" (texts in UTF-8, masks and styles in 0x hex, other numbers
// in decimal) so that tests can check order; misuse that would crash on Windows fails the test.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "common/Log.h"
#include "common/ResultCodes.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv::fakes {

// Upper-cases ASCII, Latin-1 and Cyrillic letters, as the file system and registry compare names.
std::u16string Fold(std::u16string_view text);
// File-name match: `*` any run, `?` exactly one unit, case-insensitive.
bool MatchesWildcard(std::u16string_view pattern, std::u16string_view name);

// "0x1A" for log lines.
std::string Hex(uint32_t value);

struct CallLog {
    std::vector<std::string> calls;

    void Add(std::string call) { calls.push_back(std::move(call)); }
    // Calls that begin with `prefix`.
    size_t Count(std::string_view prefix) const;
};

// Scripted failures, queued per method name.
class Faults {
  public:
    // The call after `skip` further calls of `method` fails with `code`.
    void FailNext(const std::string& method, uint32_t code, unsigned skip = 0);
    std::optional<uint32_t> Take(const std::string& method);
    size_t Pending() const;

  private:
    struct Fault {
        unsigned skip;
        uint32_t code;
    };
    std::map<std::string, std::deque<Fault>> faults_;
};

// ---------------------------------------------------------------------------------------------
// Installer

struct FakeComponent {
    int state = kInstallStateLocal;
    std::u16string path;
};

struct FakeProduct {
    std::u16string code;
    std::u16string upgradeCode;
    int state = kInstallStateDefault;
    std::map<std::u16string, std::u16string> info;        // "VersionString", "LocalPackage", ...
    std::map<std::u16string, std::u16string> sourceList;  // "PackageName"
    bool sourcesCleared = false;
    std::map<std::u16string, FakeComponent> components;  // by component code
};

struct FakePackage {
    std::map<std::u16string, std::u16string> properties;
    uint32_t openError = 0;  // non-zero: MsiOpenPackageEx fails with it
};

struct SequenceRow {
    std::u16string action;
    std::u16string condition;
    bool operator==(const SequenceRow& other) const {
        return action == other.action && condition == other.condition;
    }
};

struct FakeDatabase {
    std::vector<SequenceRow> installExecuteSequence;
    uint32_t openError = 0;
};

class FakeInstaller : public Installer {
  public:
    static constexpr const char16_t* kIdentityStatement =
        u"SELECT `Property`, `Value` FROM `Property` WHERE `Property`='ProductCode' OR "
        u"`Property`='UpgradeCode' OR `Property`='ProductVersion' OR `Property`='ProductName'";
    static constexpr const char16_t* kPatchStatement =
        u"UPDATE `InstallExecuteSequence` Set `Condition`='Not UPGRADINGPRODUCTCODE'WHERE "
        u"`Action`='KSProcess' Or `Action`='KSProcess64'";

    // Installed products in enumeration order; codes compare case-insensitively.
    std::deque<FakeProduct> products;
    // By path; lookups ignore case.
    std::map<std::u16string, FakePackage> packages;
    std::map<std::u16string, FakeDatabase> databases;  // the committed state
    int uiLevel = 0;                                   // last SetInternalUI
    CallLog log;
    Faults faults;

    FakeProduct& AddProduct(const std::u16string& code, const std::u16string& upgradeCode);
    FakeProduct* FindProduct(const char16_t* code);
    size_t OpenHandleCount() const { return handles_.size(); }

    void SetInternalUI(int level) override;
    int QueryProductState(const char16_t* product) override;
    uint32_t GetProductInfo(const char16_t* product, const char16_t* attribute, char16_t* buffer,
                            uint32_t* length) override;
    uint32_t OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) override;
    uint32_t GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                         uint32_t* length) override;
    uint32_t EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                 char16_t* buffer) override;
    // Injected faults of this method and QueryProductState are returned as states.
    int GetComponentPath(const char16_t* product, const char16_t* component, char16_t* buffer,
                         uint32_t* length) override;
    uint32_t SourceListGetInfo(const char16_t* product, uint32_t context, uint32_t options,
                               const char16_t* property, char16_t* buffer,
                               uint32_t* length) override;
    uint32_t SourceListClearAll(const char16_t* product) override;
    uint32_t SourceListSetInfo(const char16_t* product, uint32_t context, uint32_t options,
                               const char16_t* property, const char16_t* value) override;
    uint32_t OpenDatabase(const char16_t* path, uint32_t persist, MsiHandle* out) override;
    uint32_t DatabaseOpenView(MsiHandle database, const char16_t* query, MsiHandle* out) override;
    uint32_t ViewExecute(MsiHandle view, MsiHandle record) override;
    // Rows of the package identity's query, from the package's properties.
    uint32_t ViewFetch(MsiHandle view, MsiHandle* record) override;
    uint32_t RecordGetString(MsiHandle record, uint32_t field, char16_t* buffer,
                             uint32_t* length) override;
    uint32_t DatabaseCommit(MsiHandle database) override;
    uint32_t CloseHandle(MsiHandle handle) override;

  private:
    struct Handle {
        enum Kind { kPackage, kDatabase, kView, kRecord } kind;
        Handle(Kind k, std::map<std::u16string, std::u16string> p = {}, std::u16string at = {},
               uint32_t mode = 0, std::shared_ptr<std::vector<SequenceRow>> rows = nullptr)
            : kind(k),
              properties(std::move(p)),
              path(std::move(at)),
              persist(mode),
              pending(std::move(rows)) {}
        // A package session's, a package database's Property table, a record's fields.
        std::map<std::u16string, std::u16string> properties;
        std::u16string path;  // database
        uint32_t persist = 0;
        // The uncommitted copy, shared by the database and its views.
        std::shared_ptr<std::vector<SequenceRow>> pending;
        bool identityView = false;  // a view of the identity query, and its next row
        size_t nextRow = 0;
        std::vector<std::u16string> fields;  // a record's
    };
    Handle* Find(MsiHandle handle, Handle::Kind kind);
    MsiHandle Open(Handle handle);

    std::map<MsiHandle, Handle> handles_;
    MsiHandle nextHandle_ = 1;
};

// ---------------------------------------------------------------------------------------------
// File system

struct FolderEntry {
    FolderEntry(std::u16string n, bool d = false, std::u16string s = {})
        : name(std::move(n)), directory(d), shortName(std::move(s)) {}
    std::u16string name;
    bool directory;
    std::u16string shortName;  // the 8.3 name, where it differs
};

class FakeFileSystem : public FileSystem {
  public:
    WideString modulePath = u"C:\\Kit\\setup.exe";
    WideString currentDirectory = u"C:\\Kit";
    std::vector<std::u16string> patterns;  // every FindFirst, in order

    // Adds an entry to a folder's listing ("C:\Kit" or "C:\Kit\"), creating the folder; a
    // non-root folder lists "." and ".." first, as on NTFS.
    void Add(const std::u16string& folder, const std::u16string& name, bool directory = false,
             const std::u16string& shortName = {});
    void AddFolder(const std::u16string& folder);
    int OpenSearches() const { return openSearches_; }

    // Log files by folded path: what was written to each.
    std::map<std::u16string, std::string> logs;
    uint32_t logCreateError = 0;  // non-zero: every CreateLogFile fails with it
    size_t logSpace = SIZE_MAX;   // bytes the disk takes before it is full
    std::string Log(const std::u16string& path) const;

    uint32_t GetModuleFileName(char16_t* buffer, uint32_t size) override;
    std::unique_ptr<DirectorySearch> FindFirst(const WideString& pattern, uint32_t& error) override;
    // The name is taken when a log or a folder entry (file, link, folder) has it.
    std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                           uint32_t& error) override;

  private:
    std::map<std::u16string, std::vector<FolderEntry>> folders_;  // by folded path
    int openSearches_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Registry (HKEY_CURRENT_USER; one view, as HKCU\Software is shared by both)

class FakeRegistry : public Registry {
  public:
    CallLog log;
    Faults faults;  // "CreateKey", "OpenKey", "DeleteSubKey"

    void AddKey(const std::u16string& path);  // with its parents
    bool HasKey(const std::u16string& path) const;

    uint32_t CreateKey(const char16_t* path, uint32_t access) override;
    uint32_t OpenKey(const char16_t* path, uint32_t access) override;
    uint32_t DeleteSubKey(const char16_t* parent, uint32_t access, const char16_t* name) override;

  private:
    std::set<std::u16string> keys_;  // folded full paths
};

// ---------------------------------------------------------------------------------------------
// System information and restart

enum class TokenScript { kGranted, kNotAllAssigned, kOpenFails };

class FakeSystemInfo : public SystemInfo {
  public:
    WideString commandLine = u"\"C:\\Kit\\setup.exe\"";
    bool admin = true;
    uint16_t systemUiLanguage = kLangEnglishUs;
    uint16_t userUiLanguage = kLangEnglishUs;
    WideString tempFolder = u"C:\\Temp\\";
    LocalTime now = {2026, 12, 7, 14, 3, 59, 120};
    uint32_t ticks = 1000;  // each reading is 10 ms later
    WideString systemDirectory = u"C:\\windows\\system32";
    bool wow64 = false;
    TokenScript token = TokenScript::kGranted;
    bool interactive = true;  // the window station is the visible one
    bool exitWindowsSucceeds = true;
    std::vector<std::pair<uint32_t, uint32_t>> exitWindowsRequests;  // (flags, reason)
    std::deque<uint32_t> shutdownAnswers;    // one per InitiateSystemShutdown; then 0
    std::vector<uint32_t> shutdownRequests;  // reasons
    std::vector<uint32_t> sleeps;            // milliseconds
    CallLog log;

    WideString GetCommandLine() override;
    bool IsUserAnAdmin() override;
    uint16_t GetSystemDefaultUILanguage() override;
    WideString GetSystemDirectory() override;
    bool IsWow64() override;
    uint16_t GetUserDefaultUILanguage() override;
    WideString GetWindowsVersion() override;
    WideString GetTempFolder() override;
    LocalTime GetLocalTime() override;
    uint32_t GetTickCount() override;
    // "text of <code>"; nothing for codes in `undescribed`.
    WideString DescribeError(uint32_t code) override;
    bool EnableShutdownPrivilege() override;
    bool IsInteractiveSession() override;
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    uint32_t InitiateSystemShutdown(uint32_t reason) override;
    void Sleep(uint32_t milliseconds) override;
};

// ---------------------------------------------------------------------------------------------
// Processes

struct ProcessOutcome {
    enum Kind { kExits, kStartFails, kExitCodeUnreadable } kind = kExits;
    uint32_t code = 0;  // the exit code, or the start error

    static ProcessOutcome Exit(uint32_t code) { return {kExits, code}; }
    static ProcessOutcome StartFails(uint32_t error) { return {kStartFails, error}; }
    static ProcessOutcome Unreadable() { return {kExitCodeUnreadable, 0}; }
};

class FakeProcesses : public Processes {
  public:
    std::deque<ProcessOutcome> script;  // one per Start, in order
    ProcessOutcome otherwise = ProcessOutcome::Exit(0);
    std::vector<WideString> commandLines;  // every Start, failed ones included
    // Machine-wide locks that other processes hold, with the error a new taker gets (183, or 5
    // when the holder's object does not let this user open it).
    std::map<std::u16string, uint32_t> heldElsewhere;
    std::vector<std::u16string> locksTaken;  // every LockInstance, in order

    int OpenChildren() const { return openChildren_; }
    int HeldLocks() const { return heldLocks_; }

    std::unique_ptr<ChildProcess> Start(const WideString& commandLine, uint32_t& error) override;
    std::unique_ptr<InstanceLock> LockInstance(const char16_t* name, uint32_t& error) override;

  private:
    class Child;
    class Lock;
    int openChildren_ = 0;
    int heldLocks_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Certificate stores

class FakeCertificateStores : public CertificateStores {
  public:
    // Certificate ids per file path (case-insensitive); nullopt: the file is no store.
    std::map<std::u16string, std::optional<std::vector<std::string>>> files;
    bool rootOpenable = true;
    std::vector<std::string> root;      // ids added to the machine Root store, in order
    std::set<std::string> failingAdds;  // ids whose addition to Root fails
    CallLog log;

    void AddFile(const std::u16string& path, std::vector<std::string> certificates);
    void AddUnreadableFile(const std::u16string& path);
    int OpenStores() const { return openStores_; }

    // A file that holds no certificate fails with CRYPT_E_NO_MATCH.
    static constexpr uint32_t kCryptNoMatch = 0x80092009;
    std::unique_ptr<CertificateStore> OpenFileStore(const WideString& path,
                                                    uint32_t& error) override;
    std::unique_ptr<CertificateStore> OpenMachineRootStore(uint32_t& error) override;

  private:
    class Store;
    const std::string* Context(std::string id);
    const std::string* Known(CertificateContext context) const;

    std::deque<std::string> contexts_;  // every context handed out; stable addresses
    int openStores_ = 0;
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
    FakeDialogWindow(std::map<int, ControlState> controls, std::vector<std::vector<int>> groups,
                     std::set<int> iconResources);

    std::map<int, ControlState> controls;
    bool ended = false;
    intptr_t result = 0;
    IconHandle bigIcon = 0;
    int iconsLoaded = 0;
    int iconsDestroyed = 0;

    size_t LiveIcons() const { return liveIcons_.size(); }
    // A user's click, then WM_COMMAND.
    void Click(int id, DialogHandler& handler);

    WideString GetItemText(int id, uint32_t capacity) override;
    void SetItemText(int id, const WideString& text) override;
    void ShowItem(int id, bool show) override;
    void CheckButton(int id) override;
    uint32_t IsButtonChecked(int id) override;
    void EndDialog(intptr_t result) override;
    IconHandle LoadIcon32(int resource) override;
    void SetBigIcon(IconHandle icon) override;
    void DestroyIcon(IconHandle icon) override;

  private:
    std::vector<std::vector<int>> groups_;
    std::set<int> iconResources_;
    std::set<IconHandle> liveIcons_;
};

class FakeUi : public Ui {
  public:
    static constexpr int kIdOk = 1, kIdCancel = 2, kIdNo = 7;

    std::vector<ShownBox> boxes;
    // Answers in order; without one, the box's default button. 0 means it cannot be shown.
    std::deque<int> answers;

    // The dialog template as created: control id → initial text, visibility.
    std::map<int, ControlState> dialogTemplate;
    std::vector<std::vector<int>> radioGroups = {{1006, 1007}, {1008, 1009, 1010}};
    std::set<int> iconResources = {100};
    std::deque<int> clicks;         // control ids the user clicks, consumed until EndDialog
    uint32_t dialogError = 0;       // non-zero: DialogBoxParamW fails with it
    std::vector<int> dialogsShown;  // template ids
    // The controls after WM_INITDIALOG and after each click of the last dialog.
    std::vector<std::map<int, ControlState>> dialogStates;
    std::unique_ptr<FakeDialogWindow> lastDialog;

    int MessageBox(const WideString& text, const WideString& caption, uint32_t style) override;
    intptr_t DialogBox(int templateId, DialogHandler& handler, uint32_t& error) override;
};

// ---------------------------------------------------------------------------------------------
// Resources

class FakeResources : public Resources {
  public:
    // Raw string-table blocks of the current UI language, by block number. Both lookups find
    // them: on Windows the neutral and the default lookup choose the same language.
    std::map<uint16_t, std::vector<char16_t>> blocks;

    // Replaces all blocks by the table of `strings` (message id → text).
    void SetStrings(const std::map<uint16_t, std::u16string>& strings);
    // 16 entries of count + units; entries not given are absent (count 0).
    static std::vector<char16_t> BuildBlock(const std::map<int, std::u16string>& entries);

    bool FindStringBlockNeutral(uint16_t block, ResourceBlock& out) override;
    bool FindStringBlock(uint16_t block, ResourceBlock& out) override;
};

// ---------------------------------------------------------------------------------------------

// ---------------------------------------------------------------------------------------------
// Log

// Keeps its lines as the log file has them, without the time: "warning: ...", "error: ... (5):
// text of 5".
class FakeLog : public Log {
  public:
    std::vector<std::string> lines;
    // Whether a line holds `part`.
    bool Has(std::string_view part) const;

    void Info(LogLine line) override;
    void Warning(LogLine line) override;
    void Error(LogLine line) override;
    void Error(LogLine line, uint32_t code) override;
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

    Platform platform() {
        return {installer, files, registry, processes, certificates, ui, resources, system};
    }
    // What is still open or still scheduled, one "name count" per kind; empty when nothing.
    std::string Leaks() const;
};

}  // namespace qv::fakes
