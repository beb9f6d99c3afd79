#pragma once
// What a run is in the middle of, kept in the machine's registry while it lasts: a run ended
// from outside (a deployment tool's time limit, a shutdown) leaves its record, and the next run
// finishes or undoes the step before it reads the installed product.
#include <utility>

#include "common/Log.h"
#include "common/WideString.h"
#include "platform/Platform.h"

namespace qv {

// A step that changes the installed product and that a later run must finish or undo.
enum class JournalStep : uint8_t {
    kPatch,      // the cached package of the product installed before is patched
    kInstaller,  // the source list of the package's product is pointed at it, and msiexec runs
    kTool,       // the product's initialisation tool runs
};

// Records the step of `product` before it starts; for msiexec, with the product's source list
// as it is, for the undo. Nothing for no product. A record that cannot be written costs only
// the next run's repair: the step goes on. Answers 0, or the code of a network source that
// could not be read: the undo could not put it back, and the step must not start.
uint32_t JournalBegin(Platform& platform, JournalStep step, const WideString& product);
// The step is done: its record goes.
void JournalEnd(Platform& platform);

// Finishes or undoes, and logs, what a run that is no longer running left in the journal: the
// source list back as it was, a tool that never finished run again when its product is
// installed. With `lookOnly` nothing changes; the log says what would be done. Answers the
// product whose source list is (or would be) put back, with the source list it gets.
std::pair<WideString, SourceList> Recover(Platform& platform, Log& log, bool lookOnly);

}  // namespace qv
