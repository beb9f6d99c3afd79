#include <gtest/gtest.h>

#include <optional>

#include "Kit.h"
#include "apply/RebootMarker.h"
#include "apply/RestartSequence.h"
#include "detect/RestartMarker.h"
#include "driver/RunContext.h"

namespace qv::testing {
namespace {

const std::u16string kMarker = u"Software\\NeedBstrReboot";

TEST(RebootMarker, CreateTestDelete) {
    Kit k;
    fakes::FakeLog log;
    EXPECT_FALSE(IsRestartDue(k.registry, k.system, log));
    EXPECT_EQ(CreateRebootMarker(k.registry, k.system), 0u);
    EXPECT_EQ(CreateRebootMarker(k.registry, k.system), 0u);  // already there
    EXPECT_TRUE(IsRestartDue(k.registry, k.system, log));
    EXPECT_EQ(DeleteRebootMarker(k.registry), 0u);
    EXPECT_FALSE(IsRestartDue(k.registry, k.system, log));
    EXPECT_EQ(DeleteRebootMarker(k.registry), 2u);
}

// A marker written before Windows last started (now minus the uptime, a minute's margin) is a
// restart that has happened: every run passes -noreboot, so no run removes it otherwise. One
// without a valid time is due, and stamped now unless only looked at, so that the next restart
// makes it stale.
TEST(RebootMarker, WrittenBeforeWindowsStarted) {
    constexpr uint64_t kNow = 134000000000000000, kHour = 36000000000, kMinute = 600000000;
    const std::optional<uint64_t> kNone;
    // clang-format off
    struct {
        const char* name;
        std::optional<uint64_t> written;
        bool lookOnly;
        bool due;
        bool markerAfter;
        std::optional<uint64_t> writtenAfter;
    } cases[] = {
        {"no_time_is_due_and_stamped", kNone, false, true, true, kNow},
        {"no_time_looked_at_only", kNone, true, true, true, kNone},
        {"written_now", kNow, false, true, true, kNow},
        {"written_within_the_margin", kNow - kHour - kMinute / 2, false, true, true,
         kNow - kHour - kMinute / 2},
        {"written_before_the_start", kNow - kHour - 2 * kMinute, false, false, false, kNone},
        {"written_before_2000", 1, false, false, false, kNone},
        {"looked_at_only", 1, true, false, true, 1},
        {"clock_behind_by_hours", kNow + 20 * kHour, false, true, true, kNow + 20 * kHour},
        {"written_past_tomorrow_is_stamped", kNow + 25 * kHour, false, true, true, kNow},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.system.systemTime = kNow;
        k.system.uptime = 3600000;
        k.registry.AddKey(kMarker);
        if (c.written) k.registry.SetQword(kMarker.c_str(), u"Written", *c.written);
        fakes::FakeLog log;
        MarkerState read = ReadRestartMarker(k.registry, k.system);
        bool due = c.lookOnly ? read == MarkerState::kDue || read == MarkerState::kUnstamped
                              : IsRestartDue(k.registry, k.system, log);
        EXPECT_EQ(due, c.due);
        EXPECT_EQ(k.registry.HasKey(kMarker), c.markerAfter);
        uint64_t written = 0;
        std::optional<uint64_t> after;
        if (k.registry.QueryQword(kMarker.c_str(), u"Written", written)) after = written;
        EXPECT_EQ(after, c.writtenAfter);
    }
}

// Every restart through InitiateSystemShutdownEx, a planned one for an installation, asked
// again while Windows is locked or not ready; one already under way is as good.
TEST(RestartSystem, AskedUntilWindowsTakesIt) {
    constexpr uint32_t kLocked = 1271, kNotReady = 21, kDenied = 5, kInProgress = 1115;
    constexpr uint32_t kPlannedInstallation = 0x80040002;
    // clang-format off
    struct {
        const char* name;
        bool privilege;
        std::deque<uint32_t> answers;
        bool result;
        size_t requests;
    } cases[] = {
        {"accepted", true, {}, true, 1},
        {"no_privilege", false, {}, false, 0},
        {"refused", true, {kDenied}, false, 1},
        {"already_shutting_down", true, {kInProgress}, true, 1},
        {"ready_after_waiting", true, {kLocked, kNotReady, kLocked}, true, 4},
        {"never_ready", true, std::deque<uint32_t>(11, kNotReady), false, 11},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.restarter.privilege = c.privilege;
        k.restarter.shutdownAnswers = c.answers;
        EXPECT_EQ(RestartSystem(k.restarter), c.result);
        EXPECT_EQ(k.restarter.shutdownRequests,
                  std::vector<uint32_t>(c.requests, kPlannedInstallation));
        EXPECT_EQ(k.restarter.sleeps,
                  std::vector<uint32_t>(c.requests ? c.requests - 1 : 0, 1000u));
    }
}

// A restart the tool or msiexec asked for is in the marker before the restart sequence.
TEST(HandlePendingRestart, Table) {
    constexpr int kYes = 6, kNo = 7;
    using P = RestartPolicy;
    using R = RestartOutcome;
    // clang-format off
    struct {
        const char* name;
        bool markerBefore;
        RestartPolicy policy;
        int answer;  // 0: no answer scripted
        bool restartWorks;
        RestartOutcome result;
        std::vector<std::string> boxes;
        size_t restarts;
        bool markerAfter;
    } cases[] = {
        {"nothing_pending", false, P::kAsk, 0, true, R::kNone, {}, 0, false},
        // -noreboot: the caller restarts, told by 3010, as msiexec tells it under REBOOT=R.
        {"marker_noreboot_keeps", true, P::kLeaveToLaterRun, 0, true, R::kLeftDue, {}, 0, true},
        {"marker_declined", true, P::kAsk, kNo, true, R::kNone, {"m121"}, 0, false},
        // A restart started: 1641, as msiexec tells it.
        {"marker_accepted", true, P::kAsk, kYes, true, R::kStarted, {"m121"}, 1, false},
        {"silent_restarts_at_once", true, P::kRestartAtOnce, 0, true, R::kStarted, {}, 1, false},
        // A restart that could not be requested is still due: the marker is back for later.
        {"restart_fails", true, P::kAsk, kYes, false, R::kFailed, {"m121", "m125"}, 1, true},
        // Nobody to ask: nothing irreversible; the marker stays and 3010 tells the caller.
        {"left_to_the_caller", true, P::kLeaveToCaller, 0, true, R::kLeftDue, {}, 0, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        if (c.markerBefore) k.registry.AddKey(kMarker);
        if (c.answer) k.ui.answers = {c.answer};
        if (!c.restartWorks) k.restarter.shutdownAnswers = {5};
        InstallOptions options;
        RunContext run(k.plat, k.files, options);
        EXPECT_EQ(HandlePendingRestart(run, c.policy), c.result);
        EXPECT_EQ(k.BoxTexts(), c.boxes);
        EXPECT_EQ(k.restarter.Requests(), c.restarts);
        EXPECT_EQ(k.registry.HasKey(kMarker), c.markerAfter);
        for (const auto& box : k.ui.boxes) {
            EXPECT_EQ(box.caption, WideString(u"m123"));
            EXPECT_EQ(box.style, ToUtf8(box.text) == "m121" ? 0x34u : 0u);
        }
        EXPECT_EQ(k.Leaks(), "");
    }
}

}  // namespace
}  // namespace qv::testing
