#pragma once
// Where a run that installs was going, kept in the machine's registry from msiexec's start until
// the tool is done: a run ended from outside (a deployment tool's time limit, a shutdown) leaves
// the record, and the next run finishes it forward once msiexec has committed, or undoes it
// before. The pattern of the installer's own rollback scripts and InProgress key.
#include "common/Log.h"
#include "model/Plan.h"
#include "platform/Platform.h"

namespace qv {

extern const char16_t kJournal[];

// How long recovery waits for an installation that still runs before it answers 1618.
constexpr uint32_t kInstallationWait = 60000;

// The record of a run's installation. Only Commit() ends it: a run that ends any other way (a
// tool past its time limit, a deployment tool's time limit, a shutdown) leaves it for the next.
class JournalEntry {
  public:
    explicit JournalEntry(Registry& registry) : registry_(registry) {}
    JournalEntry(const JournalEntry&) = delete;
    JournalEntry& operator=(const JournalEntry&) = delete;

    // Records the installation's target and the steps after it, before msiexec runs, with the
    // source list of the package's product, read into `before` (empty when it has none), for
    // the undo. A record that cannot be written costs only the next run's repair: the step goes
    // on. Answers the read's error when the product is installed and its source list, or one of
    // its network sources, cannot be read: the step must not start.
    uint32_t Begin(Installer& installer, const InstallPackage& step, SourceList& before);
    // The run went where it was going, or failed and put back what it changed: the record goes.
    void Commit() { registry_.DeleteKey(kJournal); }

  private:
    Registry& registry_;
};

// msiexec has started: a next run waits for it before deciding.
void JournalStarted(Registry& registry, ChildProcess& child);

// What a run that is no longer running left: once its installation has ended (waited for at
// most kInstallationWait; `busy` when it still runs), the installed product is its target or
// not. If it is, msiexec committed: the new source list stays and the steps still to do are
// answered for this run's plan, which ends the record once they are done. Else the source list
// goes back as it was and the record goes. The log says which and why.
Recovered Recover(Platform& platform, Log& log);

}  // namespace qv
