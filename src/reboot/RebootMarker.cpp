#include "reboot/RebootMarker.h"

#include "common/ResultCodes.h"

namespace qv {

const char16_t kRebootMarkerPath[] = u"Software\\NeedBstrReboot";

namespace {

constexpr uint32_t kWriteAccess = kKeyRead | kKeyWrite | kKeyWow64_32Key;

struct RegistryKeyHolder {
    std::unique_ptr<RegistryKey> key;
    ProcAddress deleteEx = 0;
    ProcAddress deletePlain = 0;

    void Resolve(SystemInfo& system) {
        ModuleHandle apiSet = system.GetModuleHandle(u"API-MS-Win-Core-LocalRegistry-L1-1-0.dll");
        if (apiSet != 0) {
            deleteEx = system.GetProcAddress(apiSet, "RegDeleteKeyExW");
            return;
        }
        ModuleHandle advapi = system.LoadLibrary(u"advapi32.dll");
        if (advapi != 0) deletePlain = system.GetProcAddress(advapi, "RegDeleteKeyW");
    }

    uint32_t DeleteSubKey(SystemInfo& system, const char16_t* name) {
        if (deleteEx == 0 && deletePlain == 0) Resolve(system);
        if (deleteEx != 0) return key->CallDeleteKeyEx(deleteEx, name, 0);
        if (deletePlain != 0) return key->CallDeleteKey(deletePlain, name);
        return system.GetLastError();
    }
};

}  // namespace

uint32_t CreateRebootMarker(Registry& registry) {
    std::unique_ptr<RegistryKey> key;
    return registry.CreateKey(kRebootMarkerPath, kWriteAccess, key);
}

bool IsRebootMarkerPresent(Registry& registry) {
    std::unique_ptr<RegistryKey> key;
    return registry.OpenKey(kRebootMarkerPath, kKeyRead | kKeyWow64_32Key, key) == 0;
}

uint32_t DeleteRebootMarker(Registry& registry, SystemInfo& system) {
    RegistryKeyHolder holder;
    uint32_t status = registry.OpenKey(u"Software", kWriteAccess, holder.key);
    if (status != 0) return status;
    return holder.DeleteSubKey(system, u"NeedBstrReboot");
}

}  // namespace qv
