#include "apply/RebootMarker.h"

namespace qv {

const char16_t kRebootMarkerPath[] = u"Software\\NeedBstrReboot";

namespace {
const char16_t kWritten[] = u"Written";
constexpr uint64_t kTicksPerMillisecond = 10000;  // system time counts 100 ns
constexpr uint64_t kMarginMilliseconds = 60000;
constexpr uint64_t kDayMilliseconds = 86400000;
}  // namespace

uint32_t CreateRebootMarker(Registry& registry, SystemInfo& system) {
    if (uint32_t status = registry.CreateKey(kRebootMarkerPath)) return status;
    // Without its time the marker still counts as due, as one from an older setup.exe.
    registry.SetQword(kRebootMarkerPath, kWritten, system.SystemTime());
    return 0;
}

bool IsRestartDue(Registry& registry, SystemInfo& system, Log& log, bool lookOnly) {
    if (!registry.KeyExists(kRebootMarkerPath)) return false;
    uint64_t written = 0, now = system.SystemTime();
    // Without a time of its own, or with one past tomorrow, it would be due for ever: stamped
    // now, the restart that follows makes it stale.
    if (!registry.QueryQword(kRebootMarkerPath, kWritten, written) ||
        written > now + kDayMilliseconds * kTicksPerMillisecond) {
        if (!lookOnly && registry.SetQword(kRebootMarkerPath, kWritten, now) == 0)
            log.Info({"restart marker stamped now"});
        return true;
    }
    // Never the wineserver's or a service's start: only the system's own uptime says when
    // Windows started.
    uint64_t started = now - (system.Uptime() + kMarginMilliseconds) * kTicksPerMillisecond;
    if (written >= started) return true;
    if (!lookOnly) {
        uint32_t status = DeleteRebootMarker(registry);
        log.Info({"restart marker written before Windows last started: the restart has happened; ",
                  status == 0 ? "removed" : "not removed"});
    }
    return false;
}

uint32_t DeleteRebootMarker(Registry& registry) {
    return registry.DeleteKey(kRebootMarkerPath);
}

}  // namespace qv
