#include <cstring>

#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorOpenFailed = 110;
constexpr uint32_t kErrorUnknownProperty = 1608;
constexpr uint32_t kErrorBadQuerySyntax = 1615;
constexpr uint32_t kErrorInstallPackageOpenFailed = 1619;
constexpr int kInstallStateMoreData = -3;

std::string Text(const char16_t* text) {
    return text ? ToUtf8(WideString(text)) : "(null)";
}

bool SameCode(std::u16string_view a, std::u16string_view b) {
    return Fold(a) == Fold(b);
}

template <typename Map>
auto FindIgnoringCase(Map& map, std::u16string_view key) -> decltype(&map.begin()->second) {
    for (auto& [name, value] : map) {
        if (SameCode(name, key)) return &value;
    }
    return nullptr;
}

// The installer's string protocol: a null buffer asks for the length; a buffer that cannot
// hold the value and its terminator gets what fits, 234 and the needed length.
uint32_t CopyOut(const std::u16string& value, char16_t* buffer, uint32_t* length) {
    if (length == nullptr) return buffer ? kErrorInvalidParameter : kErrorSuccess;
    uint32_t size = static_cast<uint32_t>(value.size());
    if (buffer == nullptr) {
        *length = size;
        return kErrorSuccess;
    }
    if (*length <= size) {
        if (*length > 0) {
            std::memcpy(buffer, value.data(), (*length - 1) * sizeof(char16_t));
            buffer[*length - 1] = 0;
        }
        *length = size;
        return kErrorMoreData;
    }
    std::memcpy(buffer, value.c_str(), (size + 1) * sizeof(char16_t));
    *length = size;
    return kErrorSuccess;
}

}  // namespace

FakeProduct& FakeInstaller::AddProduct(const std::u16string& code,
                                       const std::u16string& upgradeCode) {
    FakeProduct& product = products.emplace_back();
    product.code = code;
    product.upgradeCode = upgradeCode;
    return product;
}

FakeProduct* FakeInstaller::FindProduct(const char16_t* code) {
    if (code == nullptr) return nullptr;
    for (FakeProduct& product : products) {
        if (SameCode(product.code, code)) return &product;
    }
    return nullptr;
}

FakeInstaller::Handle* FakeInstaller::Find(MsiHandle handle, Handle::Kind kind) {
    auto it = handles_.find(handle);
    return it != handles_.end() && it->second.kind == kind ? &it->second : nullptr;
}

MsiHandle FakeInstaller::Open(Handle handle) {
    MsiHandle id = nextHandle_++;
    handles_.emplace(id, std::move(handle));
    return id;
}

void FakeInstaller::SetInternalUI(int level) {
    log.Add("SetInternalUI " + std::to_string(level));
    uiLevel = level;
}

int FakeInstaller::QueryProductState(const char16_t* product) {
    log.Add("QueryProductState " + Text(product));
    if (auto fault = faults.Take("QueryProductState")) return static_cast<int>(*fault);
    FakeProduct* found = FindProduct(product);
    return found ? found->state : kInstallStateUnknown;
}

uint32_t FakeInstaller::GetProductInfo(const char16_t* product, const char16_t* attribute,
                                       char16_t* buffer, uint32_t* length) {
    log.Add("GetProductInfo " + Text(product) + " " + Text(attribute));
    if (auto fault = faults.Take("GetProductInfo")) return *fault;
    if (product == nullptr || attribute == nullptr) return kErrorInvalidParameter;
    FakeProduct* found = FindProduct(product);
    if (found == nullptr) return kErrorUnknownProduct;
    auto value = found->info.find(attribute);
    if (value == found->info.end()) return kErrorUnknownProperty;
    return CopyOut(value->second, buffer, length);
}

uint32_t FakeInstaller::OpenPackageEx(const char16_t* path, uint32_t options, MsiHandle* out) {
    log.Add("OpenPackageEx " + Text(path) + " " + std::to_string(options));
    if (auto fault = faults.Take("OpenPackageEx")) return *fault;
    if (path == nullptr || out == nullptr) return kErrorInvalidParameter;
    FakePackage* package = FindIgnoringCase(packages, path);
    if (package == nullptr) return kErrorInstallPackageOpenFailed;
    if (package->openError != 0) return package->openError;
    *out = Open({Handle::kPackage, package->properties, {}, 0, nullptr});
    return kErrorSuccess;
}

uint32_t FakeInstaller::GetProperty(MsiHandle package, const char16_t* name, char16_t* buffer,
                                    uint32_t* length) {
    log.Add("GetProperty " + std::to_string(package) + " " + Text(name));
    if (auto fault = faults.Take("GetProperty")) return *fault;
    Handle* session = Find(package, Handle::kPackage);
    if (session == nullptr) return kErrorInvalidHandle;
    if (name == nullptr) return kErrorInvalidParameter;
    auto it = session->properties.find(name);
    std::u16string value = it == session->properties.end() ? u"" : it->second;
    // An empty value fits an empty buffer: nothing to report.
    if (value.empty() && buffer != nullptr && length != nullptr && *length == 0) {
        return kErrorSuccess;
    }
    return CopyOut(value, buffer, length);
}

uint32_t FakeInstaller::EnumRelatedProducts(const char16_t* upgradeCode, uint32_t index,
                                            char16_t* buffer) {
    log.Add("EnumRelatedProducts " + Text(upgradeCode) + " " + std::to_string(index));
    if (auto fault = faults.Take("EnumRelatedProducts")) return *fault;
    if (upgradeCode == nullptr || buffer == nullptr) return kErrorInvalidParameter;
    uint32_t seen = 0;
    for (const FakeProduct& product : products) {
        if (!SameCode(product.upgradeCode, upgradeCode) || seen++ != index) continue;
        std::u16string code = product.code.substr(0, 38);
        std::memcpy(buffer, code.c_str(), (code.size() + 1) * sizeof(char16_t));
        return kErrorSuccess;
    }
    return kErrorNoMoreItems;
}

int FakeInstaller::GetComponentPath(const char16_t* product, const char16_t* component,
                                    char16_t* buffer, uint32_t* length) {
    log.Add("GetComponentPath " + Text(product) + " " + Text(component));
    if (auto fault = faults.Take("GetComponentPath")) return static_cast<int>(*fault);
    FakeProduct* found = FindProduct(product);
    FakeComponent* part =
        found && component ? FindIgnoringCase(found->components, component) : nullptr;
    if (part == nullptr) return kInstallStateUnknown;
    if (length == nullptr) return part->state;
    if (buffer != nullptr && *length == 0) {
        *length = static_cast<uint32_t>(part->path.size());
        return part->state;
    }
    return CopyOut(part->path, buffer, length) == kErrorMoreData ? kInstallStateMoreData
                                                                 : part->state;
}

uint32_t FakeInstaller::SourceListGetInfo(const char16_t* product, uint32_t context,
                                          uint32_t options, const char16_t* property,
                                          char16_t* buffer, uint32_t* length) {
    log.Add("SourceListGetInfo " + Text(product) + " " + std::to_string(context) + " " +
            std::to_string(options) + " " + Text(property));
    if (auto fault = faults.Take("SourceListGetInfo")) return *fault;
    if (property == nullptr || options != kMsiCodeProduct) return kErrorInvalidParameter;
    // Every fake product is installed per machine.
    FakeProduct* found = FindProduct(product);
    if (found == nullptr || context != kMsiInstallContextMachine) return kErrorUnknownProduct;
    auto value = found->sourceList.find(property);
    if (value == found->sourceList.end()) return kErrorUnknownProperty;
    return CopyOut(value->second, buffer, length);
}

uint32_t FakeInstaller::SourceListClearAll(const char16_t* product) {
    log.Add("SourceListClearAll " + Text(product));
    if (auto fault = faults.Take("SourceListClearAll")) return *fault;
    FakeProduct* found = FindProduct(product);
    if (found == nullptr) return kErrorUnknownProduct;
    found->sourcesCleared = true;
    return kErrorSuccess;
}

uint32_t FakeInstaller::SourceListSetInfo(const char16_t* product, uint32_t context,
                                          uint32_t options, const char16_t* property,
                                          const char16_t* value) {
    log.Add("SourceListSetInfo " + Text(product) + " " + std::to_string(context) + " " +
            std::to_string(options) + " " + Text(property) + " " + Text(value));
    if (auto fault = faults.Take("SourceListSetInfo")) return *fault;
    if (property == nullptr || value == nullptr || options != kMsiCodeProduct) {
        return kErrorInvalidParameter;
    }
    FakeProduct* found = FindProduct(product);
    if (found == nullptr || context != kMsiInstallContextMachine) return kErrorUnknownProduct;
    found->sourceList[property] = value;
    return kErrorSuccess;
}

uint32_t FakeInstaller::OpenDatabase(const char16_t* path, uint32_t persist, MsiHandle* out) {
    log.Add("OpenDatabase " + Text(path) + " " + std::to_string(persist));
    if (auto fault = faults.Take("OpenDatabase")) return *fault;
    if (path == nullptr || out == nullptr) return kErrorInvalidParameter;
    FakeDatabase* database = FindIgnoringCase(databases, path);
    if (database == nullptr && persist == kMsiDbOpenReadOnly) {
        // A package beside the program, read for its Property table.
        FakePackage* package = FindIgnoringCase(packages, path);
        if (package == nullptr) return kErrorOpenFailed;
        if (package->openError != 0) return package->openError;
        Handle h{Handle::kDatabase, package->properties, path, persist, nullptr};
        h.pending = std::make_shared<std::vector<SequenceRow>>();
        *out = Open(std::move(h));
        return kErrorSuccess;
    }
    if (database == nullptr) return kErrorOpenFailed;
    if (database->openError != 0) return database->openError;
    auto pending = std::make_shared<std::vector<SequenceRow>>(database->installExecuteSequence);
    *out = Open({Handle::kDatabase, {}, path, persist, std::move(pending)});
    return kErrorSuccess;
}

uint32_t FakeInstaller::DatabaseOpenView(MsiHandle database, const char16_t* query,
                                         MsiHandle* out) {
    log.Add("DatabaseOpenView " + std::to_string(database) + " " + Text(query));
    if (auto fault = faults.Take("DatabaseOpenView")) return *fault;
    Handle* db = Find(database, Handle::kDatabase);
    if (db == nullptr) return kErrorInvalidHandle;
    if (query == nullptr || out == nullptr) return kErrorInvalidParameter;
    // Only the two statements the product runs are understood.
    bool identity = std::u16string_view(query) == kIdentityStatement;
    if (!identity && std::u16string_view(query) != kPatchStatement) return kErrorBadQuerySyntax;
    Handle view{Handle::kView, db->properties, db->path, db->persist, db->pending};
    view.identityView = identity;
    *out = Open(std::move(view));
    return kErrorSuccess;
}

uint32_t FakeInstaller::ViewExecute(MsiHandle view, MsiHandle record) {
    log.Add("ViewExecute " + std::to_string(view) + " " + std::to_string(record));
    if (auto fault = faults.Take("ViewExecute")) return *fault;
    Handle* v = Find(view, Handle::kView);
    if (v == nullptr || (record != 0 && handles_.count(record) == 0)) return kErrorInvalidHandle;
    v->nextRow = 0;
    if (v->identityView) return kErrorSuccess;
    for (SequenceRow& row : *v->pending) {
        if (row.action == u"KSProcess" || row.action == u"KSProcess64") {
            row.condition = u"Not UPGRADINGPRODUCTCODE";
        }
    }
    return kErrorSuccess;
}

uint32_t FakeInstaller::ViewFetch(MsiHandle view, MsiHandle* record) {
    log.Add("ViewFetch " + std::to_string(view));
    if (auto fault = faults.Take("ViewFetch")) return *fault;
    Handle* v = Find(view, Handle::kView);
    if (v == nullptr || !v->identityView) return kErrorInvalidHandle;
    static const char16_t* const kNames[] = {u"ProductCode", u"UpgradeCode", u"ProductVersion",
                                             u"ProductName"};
    // The table's rows in their order; properties the package lacks have none.
    std::vector<std::u16string> names;
    for (const auto& [name, value] : v->properties)
        for (const char16_t* wanted : kNames)
            if (name == wanted) names.push_back(name);
    if (v->nextRow >= names.size()) return kErrorNoMoreItems;
    const std::u16string& name = names[v->nextRow++];
    Handle row{Handle::kRecord, {}, {}, 0, nullptr};
    row.fields = {name, v->properties.at(name)};
    *record = Open(std::move(row));
    return kErrorSuccess;
}

uint32_t FakeInstaller::RecordGetString(MsiHandle record, uint32_t field, char16_t* buffer,
                                        uint32_t* length) {
    log.Add("RecordGetString " + std::to_string(record) + " " + std::to_string(field));
    if (auto fault = faults.Take("RecordGetString")) return *fault;
    Handle* r = Find(record, Handle::kRecord);
    if (r == nullptr) return kErrorInvalidHandle;
    if (field == 0 || field > r->fields.size()) return kErrorInvalidParameter;
    const std::u16string& value = r->fields[field - 1];
    if (value.empty() && buffer != nullptr && length != nullptr && *length == 0)
        return kErrorSuccess;
    return CopyOut(value, buffer, length);
}

uint32_t FakeInstaller::DatabaseCommit(MsiHandle database) {
    log.Add("DatabaseCommit " + std::to_string(database));
    if (auto fault = faults.Take("DatabaseCommit")) return *fault;
    Handle* db = Find(database, Handle::kDatabase);
    if (db == nullptr) return kErrorInvalidHandle;
    // A read-only database accepts the commit and keeps its file as it was.
    if (db->persist == 0) return kErrorSuccess;
    if (FakeDatabase* target = FindIgnoringCase(databases, db->path)) {
        target->installExecuteSequence = *db->pending;
    }
    return kErrorSuccess;
}

uint32_t FakeInstaller::CloseHandle(MsiHandle handle) {
    log.Add("CloseHandle " + std::to_string(handle));
    if (auto fault = faults.Take("CloseHandle")) return *fault;
    if (handle == 0) return kErrorSuccess;
    return handles_.erase(handle) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace qv::fakes
