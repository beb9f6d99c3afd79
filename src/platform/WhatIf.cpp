#include "platform/WhatIf.h"

namespace qv {
namespace {

class NoFile final : public LogFile {
  public:
    bool Write(const char*, size_t) override { return true; }
};

const char* const kStores[] = {"Root", "CA"};

}  // namespace

// Platform's members are declared before the held ones, which are bound here, not yet made:
// only their addresses are taken.
WhatIf::WhatIf(Platform& real)
    : platform{installer_, files_,         registry_,   real.processes, stores_,
               real.ui,    real.resources, real.system, real.restarter},
      installer_(*this, real.installer),
      registry_(*this, real.registry),
      files_(*this, real.files),
      stores_(*this, real.certificates) {}

void WhatIf::Would(LogLine line) {
    lines->Info({"would ", Joined(line)});
}

uint32_t WhatIf::HeldInstaller::ReadSourceList(const WideString& product, SourceList& sources) {
    uint32_t status = real_.ReadSourceList(product, sources);
    if (!EqualWithoutCase(product.str(), product_.str())) return status;
    sources.packageName = name_;
    return 0;
}

uint32_t WhatIf::HeldInstaller::RestoreSourceList(const WideString& product,
                                                  const SourceList& sources) {
    owner_.Would({"put ", "its source list back to ", sources.packageName});
    product_ = product;
    name_ = sources.packageName;
    return 0;
}

// A key that is not there is no change, and no line: Windows answers as for any missing key.
uint32_t WhatIf::HeldRegistry::DeleteKey(const char16_t* path) {
    if (!real_.KeyExists(path)) return kErrorFileNotFound;
    owner_.Would({"delete ", path});
    return 0;
}

std::unique_ptr<LogFile> WhatIf::HeldFiles::CreateLogFile(const WideString& path, bool,
                                                          const char16_t*, uint32_t& error) {
    owner_.Would({"create ", path});
    error = 0;
    return std::make_unique<NoFile>();
}

uint32_t WhatIf::HeldStores::AddToMachine(MachineStore store, const Certificate& certificate) {
    if (real_.InMachine(store, certificate)) return kCryptExists;
    owner_.Would({"add certificate ", certificate.thumbprint, " of ", *certificate.file, " to ",
                  kStores[static_cast<int>(store)]});
    return 0;
}

}  // namespace qv
