#pragma once
// The Windows Installer, answering the product's questions. Handles, buffers and the two-call
// reads stay in the adapter.
#include <cstdint>
#include <vector>

#include "common/WideString.h"
#include "model/PackageIdentity.h"

namespace qv {

// Where a read failed, for the message that names that step.
enum class ReadStep : uint8_t { kLength, kValue, kOpen, kReleaseFlags, kProductLanguage };

struct ReadStatus {
    uint32_t code = 0;
    ReadStep step = ReadStep::kValue;
};

// The properties of an installed product's cached package that tell its level and language.
struct ReleaseProperties {
    WideString releaseFlags;     // ISReleaseFlags; empty when absent
    WideString productLanguage;  // ProductLanguage
};

// One row of InstallExecuteSequence: an action and its condition.
struct SequenceCondition {
    WideString action;
    WideString condition;
};

// Where an installed product's sources are: what a reinstallation over it must put back when
// it fails.
struct SourceList {
    WideString packageName;
    std::vector<WideString> networkSources;
    uint32_t unread = 0;  // 0, or the code of the first network source that could not be read
};

class Installer {
  public:
    virtual ~Installer() = default;
    // In-process installer calls of this process show no interface.
    virtual void DisableInternalUi() = 0;
    // The package's ProductCode, UpgradeCode, ProductVersion and ProductName, read as a
    // read-only database. 0, the first failing call's code, or 1620 for a package that names
    // no product.
    virtual uint32_t ReadPackageIdentity(const WideString& path, PackageIdentity& identity) = 0;
    // The package's PackageCode, from its summary information.
    virtual uint32_t ReadPackageCode(const WideString& path, WideString& code) = 0;
    // The installed products related to the UpgradeCode, in the installer's order.
    virtual std::vector<WideString> RelatedProducts(const WideString& upgradeCode) = 0;
    virtual bool IsInstalled(const WideString& product) = 0;
    // A product's attribute ("VersionString", "LocalPackage", "PackageCode"); on failure `value` is
    // untouched and the status says whether asking for the length or reading the value failed.
    virtual ReadStatus ProductInfo(const WideString& product, const char16_t* attribute,
                                   WideString& value) = 0;
    // The release properties of a package opened as an installer session, ignoring the
    // machine's state; the status names the step that failed.
    virtual ReadStatus ReadReleaseProperties(const WideString& package,
                                             ReleaseProperties& properties) = 0;
    // The installed product's source list: its package name and its network sources. A package
    // name that reads empty fails with 1610; a network source that cannot be read is skipped
    // and named in `unread`.
    virtual uint32_t ReadSourceList(const WideString& product, SourceList& sources) = 0;
    // Clears the product's sources and names `packageName` as its package.
    virtual uint32_t PointSourceList(const WideString& product, const WideString& packageName) = 0;
    // Names the package of `sources` again and adds back those of its network sources that
    // are gone.
    virtual uint32_t RestoreSourceList(const WideString& product, const SourceList& sources) = 0;
    // The cabinets of the package's Media table that lie beside it, not embedded ("#..."), and
    // the first file it reads uncompressed from its folder (empty: none): one marked so, or one
    // left unmarked where the summary says the source is uncompressed.
    virtual uint32_t ReadPackageSources(const WideString& package, std::vector<WideString>& names,
                                        WideString& looseFile) = 0;
    // The rows of KSProcess and KSProcess64 in the package's InstallExecuteSequence.
    virtual uint32_t ReadRemovalActions(const WideString& package,
                                        std::vector<SequenceCondition>& rows) = 0;
    // Sets each row's condition in one transaction, committed only when every row was written.
    virtual uint32_t WriteConditions(const WideString& package,
                                     const std::vector<SequenceCondition>& rows) = 0;
    // Where a component of the product is, and its install state (INSTALLSTATE_*).
    virtual int ComponentPath(const WideString& product, const char16_t* component,
                              WideString& path) = 0;
};

// Install states of a component (INSTALLSTATE_*).
constexpr int kInstallStateBroken = 0;
constexpr int kInstallStateLocal = 3;

}  // namespace qv
