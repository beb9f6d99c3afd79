#include "driver/RunContext.h"

#include "apply/RebootMarker.h"
#include "common/ExitCodes.h"
#include "ui/Messages.h"

namespace qv {

int RunContext::Fail(const StepResult& result, LogLine what) {
    WideString text;
    if (what.size() == 0) LoadMessage(platform.resources, result.message, text);
    log.Error(what.size() == 0 ? LogLine{text} : what, result.status);
    voice.Say(result.message);
    return static_cast<int>(PassThrough(result.status));
}

void RunContext::RecordRestart(const char* cause) {
    LogPiece why = cause;
    if (uint32_t status = CreateRebootMarker(platform.registry, platform.system)) {
        log.Error({"restart marker (", why, ") not created; the restart is kept in the run"},
                  status);
        restartUnrecorded = true;
        return;
    }
    log.Info({"restart marker created: ", why});
}

}  // namespace qv
