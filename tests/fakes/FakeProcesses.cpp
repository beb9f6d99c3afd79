#include "fakes/Fakes.h"

namespace qv::fakes {
namespace {

constexpr uint32_t kStillActive = 259;

}  // namespace

class FakeProcesses::Child : public ChildProcess {
  public:
    Child(ProcessOutcome outcome, int& open) : outcome_(outcome), open_(open) { ++open_; }
    ~Child() override { --open_; }

    void WaitForExit() override { exited_ = true; }
    bool GetExitCode(uint32_t& code) override {
        if (outcome_.kind == ProcessOutcome::kExitCodeUnreadable) return false;
        // Read before the wait, the code is the one of a process still running.
        code = exited_ ? outcome_.code : kStillActive;
        return true;
    }

  private:
    ProcessOutcome outcome_;
    int& open_;
    bool exited_ = false;
};

std::unique_ptr<ChildProcess> FakeProcesses::Start(const WideString& commandLine, uint32_t& error) {
    commandLines.push_back(commandLine);
    ProcessOutcome outcome = otherwise;
    if (!script.empty()) {
        outcome = script.front();
        script.pop_front();
    }
    if (outcome.kind == ProcessOutcome::kStartFails) {
        error = outcome.code;
        return nullptr;
    }
    return std::make_unique<Child>(outcome, openChildren_);
}

class FakeProcesses::Lock : public InstanceLock {
  public:
    explicit Lock(int& held) : held_(held) { ++held_; }
    ~Lock() override { --held_; }

  private:
    int& held_;
};

std::unique_ptr<InstanceLock> FakeProcesses::LockInstance(const char16_t* name, uint32_t& error) {
    locksTaken.emplace_back(name);
    auto other = heldElsewhere.find(name);
    if (other != heldElsewhere.end()) {
        error = other->second;
        return nullptr;
    }
    if (heldLocks_ != 0) {
        error = kErrorAlreadyExists;  // this process already holds it
        return nullptr;
    }
    error = 0;
    return std::make_unique<Lock>(heldLocks_);
}

}  // namespace qv::fakes
