#pragma once
#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// Every box of a run is shown here, so that -silent is honoured in one place, and so that no
// box is ever shown where nobody can answer it: a box on a window station that is not the
// visible one (a service's, a task's run as SYSTEM) never returns.
class Voice {
  public:
    Voice(Platform& platform, const bool& silent) : platform_(platform), silent_(silent) {}
    // The catalogue's message in its box, "%s" filled with `value`. Answers the box's result;
    // 0 when silent, when nobody can see it, or when it could not be shown.
    int Say(MessageId text, const WideString& value = {});
    void SayUsage();
    // A report in the box of message 129, which heads it.
    void SayReport(const WideString& report);
    // Whether someone can answer: not silent, on the visible window station.
    bool CanAsk();
    // Read once, when first asked.
    bool StationVisible();

  private:
    Platform& platform_;
    const bool& silent_;
    int stationVisible_ = -1;
};

}  // namespace qv
