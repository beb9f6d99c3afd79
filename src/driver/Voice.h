#pragma once
#include "common/MessageIds.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// Every box of a run is shown here, so that -silent is honoured in one place.
class Voice {
  public:
    Voice(Platform& platform, const bool& silent) : platform_(platform), silent_(silent) {}
    // The catalogue's message in its box, "%s" filled with `value`. Answers the box's result;
    // 0 when silent or when it could not be shown.
    int Say(MessageId text, const WideString& value = {});
    void SayUsage();

  private:
    Platform& platform_;
    const bool& silent_;
};

}  // namespace qv
