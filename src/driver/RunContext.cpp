#include "driver/RunContext.h"

#include "ui/Messages.h"

namespace qv {

void RunContext::Say(MessageId text, const WideString& value) {
    voice.Say(text, value);
}

std::optional<bool> RunContext::Ask(MessageId question) {
    int answer = voice.Say(question);
    if (answer == 0) return std::nullopt;
    return answer == kAnswerYes;
}

}  // namespace qv
