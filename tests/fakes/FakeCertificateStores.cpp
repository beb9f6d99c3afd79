#include <gtest/gtest.h>

#include <algorithm>

#include "fakes/Fakes.h"

namespace qv::fakes {

class FakeCertificateStores::Store : public CertificateStore {
  public:
    Store(FakeCertificateStores& owner, bool root, const std::vector<std::string>& ids)
        : owner_(owner), root_(root) {
        for (const std::string& id : ids) contexts_.push_back(owner_.Context(id));
        ++owner_.openStores_;
    }
    ~Store() override { --owner_.openStores_; }

    CertificateContext Enumerate(CertificateContext previous) override {
        if (previous == nullptr) return contexts_.empty() ? nullptr : contexts_.front();
        auto it = std::find(contexts_.begin(), contexts_.end(), previous);
        if (it == contexts_.end()) {
            ADD_FAILURE() << "Enumerate given a certificate of another store";
            return nullptr;
        }
        return ++it == contexts_.end() ? nullptr : *it;
    }

    WideString Thumbprint(CertificateContext certificate) override {
        const std::string* id = owner_.Known(certificate);
        return id ? FromUtf8(*id) : WideString();
    }

    bool Add(CertificateContext certificate) override {
        const std::string* id = owner_.Known(certificate);
        if (id == nullptr) {
            ADD_FAILURE() << "Add given something that is not a certificate context";
            return false;
        }
        owner_.log.Add(std::string(root_ ? "AddToRoot " : "AddToFile ") + *id);
        if (root_ && owner_.failingAdds.count(*id) != 0) return false;
        // Additions to a file store stay in memory, as without a commit flag on Windows.
        contexts_.push_back(owner_.Context(*id));
        if (root_) owner_.root.push_back(*id);
        return true;
    }

  private:
    FakeCertificateStores& owner_;
    bool root_;
    std::vector<CertificateContext> contexts_;
};

const std::string* FakeCertificateStores::Context(std::string id) {
    return &contexts_.emplace_back(std::move(id));
}

const std::string* FakeCertificateStores::Known(CertificateContext context) const {
    for (const std::string& id : contexts_) {
        if (&id == context) return &id;
    }
    return nullptr;
}

void FakeCertificateStores::AddFile(const std::u16string& path,
                                    std::vector<std::string> certificates) {
    files[path] = std::move(certificates);
}

void FakeCertificateStores::AddUnreadableFile(const std::u16string& path) {
    files[path] = std::nullopt;
}

std::unique_ptr<CertificateStore> FakeCertificateStores::OpenFileStore(const WideString& path,
                                                                       uint32_t& error) {
    log.Add("OpenFileStore " + ToUtf8(path));
    error = kCryptNoMatch;
    for (const auto& [name, certificates] : files) {
        if (Fold(name) != Fold(path.str())) continue;
        if (!certificates) return nullptr;
        error = 0;
        return std::make_unique<Store>(*this, false, *certificates);
    }
    return nullptr;
}

std::unique_ptr<CertificateStore> FakeCertificateStores::OpenMachineRootStore(uint32_t& error) {
    log.Add("OpenMachineRootStore");
    error = rootOpenable ? 0 : kErrorAccessDenied;
    if (!rootOpenable) return nullptr;
    return std::make_unique<Store>(*this, true, root);
}

}  // namespace qv::fakes
