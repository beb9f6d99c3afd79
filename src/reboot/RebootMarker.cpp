#include "reboot/RebootMarker.h"

#include "common/ResultCodes.h"

namespace qv {

const char16_t kRebootMarkerPath[] = u"Software\\NeedBstrReboot";

namespace {
constexpr uint32_t kWriteAccess = kKeyRead | kKeyWrite | kKeyWow64_32Key;
}  // namespace

uint32_t CreateRebootMarker(Registry& registry) {
    return registry.CreateKey(kRebootMarkerPath, kWriteAccess);
}

bool IsRebootMarkerPresent(Registry& registry) {
    return registry.OpenKey(kRebootMarkerPath, kKeyRead | kKeyWow64_32Key) == 0;
}

uint32_t DeleteRebootMarker(Registry& registry) {
    return registry.DeleteSubKey(u"Software", kWriteAccess, u"NeedBstrReboot");
}

}  // namespace qv
