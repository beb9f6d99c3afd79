#pragma once
// -whatif's platform: the real one, whose writes are held back. The writes a plan reaches (the
// journal's recovery, msiexec's log, the certificates) are each a "would …" line instead, and
// the package name recovery puts back is the one detection reads. The writes only carrying a plan
// out makes (registry values and keys created, the source list pointed at a package, the
// sequence patched) are refused with ERROR_ACCESS_DENIED and leave nothing. Every other call is
// the real platform's, reads included: a plan reads no key after deleting it, and a certificate
// the kit holds twice is named twice. Processes are not wrapped: a plan starts none, and the
// driver only looks at the single-instance lock. setup.exe's size leaves no room for more.
#include <vector>

#include "common/Log.h"
#include "platform/Platform.h"

namespace qv {

class WhatIf {
  public:
    explicit WhatIf(Platform& real);
    WhatIf(const WhatIf&) = delete;
    WhatIf& operator=(const WhatIf&) = delete;

    Platform platform;
    Log* lines = nullptr;  // where the "would …" lines go: set before anything is written

  private:
    void Would(LogLine line);

    class HeldInstaller final : public Installer {
      public:
        HeldInstaller(WhatIf& owner, Installer& real) : owner_(owner), real_(real) {}
        void DisableInternalUi() override {}
        uint32_t ReadPackageIdentity(const WideString& path, PackageIdentity& identity) override {
            return real_.ReadPackageIdentity(path, identity);
        }
        uint32_t ReadPackageCode(const WideString& path, WideString& code) override {
            return real_.ReadPackageCode(path, code);
        }
        std::vector<WideString> RelatedProducts(const WideString& upgradeCode) override {
            return real_.RelatedProducts(upgradeCode);
        }
        bool IsInstalled(const WideString& product) override { return real_.IsInstalled(product); }
        ReadStatus ProductInfo(const WideString& product, const char16_t* attribute,
                               WideString& value) override {
            return real_.ProductInfo(product, attribute, value);
        }
        ReadStatus ReadReleaseProperties(const WideString& package,
                                         ReleaseProperties& properties) override {
            return real_.ReadReleaseProperties(package, properties);
        }
        // The package name put back, over the real list: putting one back only adds the network
        // sources that are gone.
        uint32_t ReadSourceList(const WideString& product, SourceList& sources) override;
        uint32_t PointSourceList(const WideString&, const WideString&) override {
            return kErrorAccessDenied;
        }
        uint32_t RestoreSourceList(const WideString& product, const SourceList& sources) override;
        uint32_t ReadPackageSources(const WideString& package, std::vector<WideString>& names,
                                    WideString& looseFile) override {
            return real_.ReadPackageSources(package, names, looseFile);
        }
        uint32_t ReadRemovalActions(const WideString& package,
                                    std::vector<SequenceCondition>& rows) override {
            return real_.ReadRemovalActions(package, rows);
        }
        uint32_t WriteConditions(const WideString&,
                                 const std::vector<SequenceCondition>&) override {
            return kErrorAccessDenied;
        }
        int ComponentPath(const WideString& product, const char16_t* component,
                          WideString& path) override {
            return real_.ComponentPath(product, component, path);
        }

      private:
        WhatIf& owner_;
        Installer& real_;
        WideString product_;  // the product whose source list was put back
        WideString name_;     // the package name it got back
    };

    class HeldRegistry final : public Registry {
      public:
        HeldRegistry(WhatIf& owner, Registry& real) : owner_(owner), real_(real) {}
        uint32_t CreateKey(const char16_t*) override { return kErrorAccessDenied; }
        bool KeyExists(const char16_t* path) override { return real_.KeyExists(path); }
        uint32_t SetQword(const char16_t*, const char16_t*, uint64_t) override {
            return kErrorAccessDenied;
        }
        bool QueryQword(const char16_t* path, const char16_t* name, uint64_t& value) override {
            return real_.QueryQword(path, name, value);
        }
        uint32_t SetStrings(const char16_t*, const char16_t*,
                            const std::vector<WideString>&) override {
            return kErrorAccessDenied;
        }
        bool QueryStrings(const char16_t* path, const char16_t* name,
                          std::vector<WideString>& values) override {
            return real_.QueryStrings(path, name, values);
        }
        uint32_t DeleteKey(const char16_t* path) override;

      private:
        WhatIf& owner_;
        Registry& real_;
    };

    class HeldFiles final : public FileSystem {
      public:
        HeldFiles(WhatIf& owner, FileSystem& real) : owner_(owner), real_(real) {}
        WideString ProgramPath() override { return real_.ProgramPath(); }
        uint32_t ListFiles(const WideString& folder, std::vector<WideString>& names) override {
            return real_.ListFiles(folder, names);
        }
        std::unique_ptr<Sha256> NewSha256() override { return real_.NewSha256(); }
        bool IsFolder(const WideString& path) override { return real_.IsFolder(path); }
        std::unique_ptr<HeldFile> Hold(const WideString& path, uint32_t& error) override {
            return real_.Hold(path, error);
        }
        // A file that takes every line and keeps none.
        std::unique_ptr<LogFile> CreateLogFile(const WideString& path, bool replace,
                                               const char16_t* security, uint32_t& error) override;

      private:
        WhatIf& owner_;
        FileSystem& real_;
    };

    class HeldStores final : public CertificateStores {
      public:
        HeldStores(WhatIf& owner, CertificateStores& real) : owner_(owner), real_(real) {}
        uint32_t Decode(const uint8_t* bytes, size_t size,
                        std::vector<Certificate>& certificates) override {
            return real_.Decode(bytes, size, certificates);
        }
        bool InMachine(MachineStore store, const Certificate& certificate) override {
            return real_.InMachine(store, certificate);
        }
        uint32_t AddToMachine(MachineStore store, const Certificate& certificate) override;

      private:
        WhatIf& owner_;
        CertificateStores& real_;
    };

    HeldInstaller installer_;
    HeldRegistry registry_;
    HeldFiles files_;
    HeldStores stores_;
};

}  // namespace qv
