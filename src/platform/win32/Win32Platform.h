#pragma once
// The real implementations of the seams: a few lines per method.
#include "platform/Platform.h"
#include "platform/win32/Win32Common.h"

namespace qv::win32 {

struct Msi;

class Win32Installer : public Installer {
  public:
    Win32Installer() = default;
    Win32Installer(const Win32Installer&) = delete;
    Win32Installer& operator=(const Win32Installer&) = delete;
    ~Win32Installer() override;
    void SetInternalUI(int level) override;
    int QueryProductState(const char16_t* product) override;
    uint32_t GetProductInfo(const char16_t* product, const char16_t* attribute, char16_t* buffer,
                            uint32_t* length) override;
    uint32_t OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) override;
    uint32_t GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                         uint32_t* length) override;
    uint32_t EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                 char16_t* buffer) override;
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
    uint32_t ViewFetch(MsiHandle view, MsiHandle* record) override;
    uint32_t RecordGetString(MsiHandle record, uint32_t field, char16_t* buffer,
                             uint32_t* length) override;
    uint32_t DatabaseCommit(MsiHandle database) override;
    uint32_t CloseHandle(MsiHandle handle) override;

  private:
    Msi& Api();
    bool apartmentEntered_ = false;
    bool leaveApartment_ = false;
};

class Win32FileSystem : public FileSystem {
  public:
    uint32_t GetModuleFileName(char16_t* buffer, uint32_t size) override;
    std::unique_ptr<DirectorySearch> FindFirst(const WideString& pattern, uint32_t& error) override;
    std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                           uint32_t& error) override;
};

class Win32Registry : public Registry {
  public:
    uint32_t CreateKey(const char16_t* path, uint32_t access) override;
    uint32_t OpenKey(const char16_t* path, uint32_t access) override;
    uint32_t DeleteSubKey(const char16_t* parent, uint32_t access, const char16_t* name) override;
};

class Win32SystemInfo : public SystemInfo {
  public:
    WideString GetCommandLine() override;
    bool IsUserAnAdmin() override;
    uint16_t GetSystemDefaultUILanguage() override;
    uint16_t GetUserDefaultUILanguage() override;
    WideString GetWindowsVersion() override;
    WideString GetTempFolder() override;
    LocalTime GetLocalTime() override;
    uint32_t GetTickCount() override;
    WideString DescribeError(uint32_t code) override;
    WideString GetSystemDirectory() override;
    bool IsWow64() override;
    bool EnableShutdownPrivilege() override;
    bool IsInteractiveSession() override;
    bool ExitWindowsEx(uint32_t flags, uint32_t reason) override;
    uint32_t InitiateSystemShutdown(uint32_t reason) override;
    void Sleep(uint32_t milliseconds) override;
};

class Win32Processes : public Processes {
  public:
    std::unique_ptr<ChildProcess> Start(const WideString& commandLine, uint32_t& error) override;
    std::unique_ptr<InstanceLock> LockInstance(const char16_t* name, uint32_t& error) override;
};

class Win32CertificateStores : public CertificateStores {
  public:
    std::unique_ptr<CertificateStore> OpenFileStore(const WideString& path,
                                                    uint32_t& error) override;
    std::unique_ptr<CertificateStore> OpenMachineRootStore(uint32_t& error) override;
};

class Win32Ui : public Ui {
  public:
    explicit Win32Ui(HINSTANCE instance) : instance_(instance) {}
    int MessageBox(const WideString& text, const WideString& caption, uint32_t style) override;
    intptr_t DialogBox(int templateId, DialogHandler& handler, uint32_t& error) override;

  private:
    HINSTANCE instance_;
};

class Win32Resources : public Resources {
  public:
    explicit Win32Resources(HINSTANCE instance) : instance_(instance) {}
    bool FindStringBlockNeutral(uint16_t block, ResourceBlock& out) override;
    bool FindStringBlock(uint16_t block, ResourceBlock& out) override;

  private:
    HINSTANCE instance_;
};

}  // namespace qv::win32
