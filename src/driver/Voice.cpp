#include "driver/Voice.h"

#include "common/Log.h"
#include "driver/ParseOptions.h"
#include "ui/Messages.h"

namespace qv {

bool Voice::StationVisible() {
    // Session 0 is the services': an interactive-flagged service sees a visible WinSta0 there.
    if (stationVisible_ < 0)
        stationVisible_ =
            platform_.system.IsStationVisible() && platform_.system.SessionId() != 0 ? 1 : 0;
    return stationVisible_ == 1;
}

bool Voice::CanAsk() {
    return !silent_ && StationVisible();
}

int Voice::Say(MessageId text, const WideString& value) {
    if (text == kNoMessage || !CanAsk()) return 0;
    return ShowMessage(platform_.resources, platform_.ui, text, value);
}

void Voice::SayUsage() {
    if (CanAsk()) platform_.ui.MessageBox(UsageText(), WideString(u"Help"), kInformationBox);
}

void Voice::SayReport(const WideString& report) {
    if (!CanAsk()) return;
    WideString heading, caption;
    LoadMessage(platform_.resources, kMsgWhatIf, heading);
    LoadMessage(platform_.resources, kMsgCaptionWhatIf, caption);
    platform_.ui.MessageBox(Joined({heading, "\r\n\r\n", report}), caption, kInformationBox);
}

}  // namespace qv
