#pragma once
// The real implementations of the seams: a few lines per method.
#include "platform/Platform.h"
#include "platform/win32/Win32Common.h"

namespace qv::win32 {

struct Msi;

// Leaves the COM apartment that CoInitializeEx entered (S_FALSE included).
void LeaveApartment(bool entered);
using UniqueApartment = UniqueAny<NullTraits<bool, decltype(&LeaveApartment), &LeaveApartment>>;

class Win32Installer : public Installer {
  public:
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
    Msi& Api();
    bool apartmentEntered_ = false;
    UniqueApartment apartment_;
};

class Win32FileSystem : public FileSystem {
  public:
    WideString ProgramPath() override;
    uint32_t ListFiles(const WideString& folder, std::vector<WideString>& names) override;
    std::unique_ptr<Sha256> NewSha256() override;
    bool IsFolder(const WideString& path) override;
    std::unique_ptr<HeldFile> Hold(const WideString& path, uint32_t& error) override;
    std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                           const char16_t* security, uint32_t& error) override;
};

class Win32Registry : public Registry {
  public:
    uint32_t CreateKey(const char16_t* path) override;
    bool KeyExists(const char16_t* path) override;
    uint32_t SetQword(const char16_t* path, const char16_t* name, uint64_t value) override;
    bool QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) override;
    uint32_t SetStrings(const char16_t* path, const char16_t* name,
                        const std::vector<WideString>& values) override;
    bool QueryStrings(const char16_t* path, const char16_t* name,
                      std::vector<WideString>& values) override;
    uint32_t DeleteKey(const char16_t* path) override;
};

class Win32SystemInfo : public SystemInfo {
  public:
    WideString CommandLine() override;
    bool IsUserAnAdmin() override;
    uint16_t SystemDefaultUiLanguage() override;
    uint16_t UserDefaultUiLanguage() override;
    WideString WindowsVersion() override;
    WideString TempFolder() override;
    LocalTime Now() override;
    uint32_t TickCount() override;
    uint64_t SystemTime() override;
    uint64_t Uptime() override;
    WideString DescribeError(uint32_t code) override;
    WideString ComputerName() override;
    WideString SystemDirectory() override;
    WideString WindowsDirectory() override;
    bool IsLocalSystem() override;
    bool Wow64Machines(uint16_t& process, uint16_t& native) override;
    bool IsWow64() override;
    bool IsStationVisible() override;
    uint32_t SessionId() override;
};

class Win32Restarter : public Restarter {
  public:
    bool EnableShutdownPrivilege() override;
    uint32_t InitiateShutdown(uint32_t reason) override;
    void Sleep(uint32_t milliseconds) override;
};

class Win32Processes : public Processes {
  public:
    std::unique_ptr<ChildProcess> Start(const WideString& commandLine, uint32_t& error) override;
    std::unique_ptr<LockNamespace> CreateLockNamespace(const char16_t* security,
                                                       uint32_t& error) override;
    std::unique_ptr<LockNamespace> OpenLockNamespace(uint32_t& error) override;
    std::unique_ptr<InstanceLock> LockInstance(const char16_t* name, const char16_t* security,
                                               uint32_t& error) override;
    uint32_t LockHeld(const char16_t* name) override;
    bool WaitForInstallation(uint64_t identity, uint32_t milliseconds) override;
};

class Win32CertificateStores : public CertificateStores {
  public:
    uint32_t Decode(const uint8_t* bytes, size_t size,
                    std::vector<Certificate>& certificates) override;
    bool InMachine(MachineStore store, const Certificate& certificate) override;
    uint32_t AddToMachine(MachineStore store, const Certificate& certificate) override;
};

class Win32Ui : public Ui {
  public:
    explicit Win32Ui(HINSTANCE instance) : instance_(instance) {}
    int MessageBox(const WideString& text, const WideString& caption, uint32_t style) override;
    intptr_t DialogBox(int templateId, DialogHandler& handler, uint32_t& error) override;
    bool Print(const WideString& text) override;

  private:
    HINSTANCE instance_;
};

class Win32Resources : public Resources {
  public:
    explicit Win32Resources(HINSTANCE instance) : instance_(instance) {}
    bool FindStringBlockNeutral(uint16_t block, ResourceBlock& out) override;
    bool FindStringBlock(uint16_t block, ResourceBlock& out) override;
    bool FindSeal(const char*& text, size_t& size) override;

  private:
    HINSTANCE instance_;
};

}  // namespace qv::win32
