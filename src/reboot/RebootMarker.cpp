#include "reboot/RebootMarker.h"

namespace qv {

const char16_t kRebootMarkerPath[] = u"Software\\NeedBstrReboot";

uint32_t CreateRebootMarker(Registry& registry) {
    return registry.CreateKey(kRebootMarkerPath);
}

bool IsRebootMarkerPresent(Registry& registry) {
    return registry.KeyExists(kRebootMarkerPath);
}

uint32_t DeleteRebootMarker(Registry& registry) {
    return registry.DeleteKey(kRebootMarkerPath);
}

}  // namespace qv
