#include "detect/RestartMarker.h"

namespace qv {

const char16_t kRebootMarkerPath[] = u"Software\\NeedBstrReboot";
const char16_t kMarkerWritten[] = u"Written";

namespace {
constexpr uint64_t kTicksPerMillisecond = 10000;  // system time counts 100 ns
constexpr uint64_t kMarginMilliseconds = 60000;
constexpr uint64_t kDayMilliseconds = 86400000;
}  // namespace

MarkerState ReadRestartMarker(Registry& registry, SystemInfo& system) {
    if (!registry.KeyExists(kRebootMarkerPath)) return MarkerState::kNone;
    uint64_t written = 0, now = system.SystemTime();
    // Without a time of its own, or with one past tomorrow, it would be due for ever.
    if (!registry.QueryQword(kRebootMarkerPath, kMarkerWritten, written) ||
        written > now + kDayMilliseconds * kTicksPerMillisecond)
        return MarkerState::kUnstamped;
    // Never the wineserver's or a service's start: only the system's own uptime says when
    // Windows started.
    uint64_t started = now - (system.Uptime() + kMarginMilliseconds) * kTicksPerMillisecond;
    return written >= started ? MarkerState::kDue : MarkerState::kStale;
}

}  // namespace qv
