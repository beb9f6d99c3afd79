#include "driver/Voice.h"

#include "driver/InstallOptions.h"
#include "ui/Messages.h"

namespace qv {

int Voice::Say(MessageId text, const WideString& value) {
    if (silent_ || text == kNoMessage) return 0;
    return ShowMessage(platform_.resources, platform_.ui, text, value);
}

void Voice::SayUsage() {
    if (!silent_) platform_.ui.MessageBox(UsageText(), WideString(u"Help"), kInformationBox);
}

}  // namespace qv
