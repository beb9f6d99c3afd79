#include <gtest/gtest.h>

#include "Kit.h"
#include "driver/Apply.h"
#include "reboot/RebootMarker.h"
#include "reboot/Restart.h"

namespace qv::testing {
namespace {

const std::u16string kMarker = u"Software\\NeedBstrReboot";

TEST(RebootMarker, CreateTestDelete) {
    Kit k;
    EXPECT_FALSE(IsRebootMarkerPresent(k.registry));
    EXPECT_EQ(CreateRebootMarker(k.registry), 0u);
    EXPECT_EQ(CreateRebootMarker(k.registry), 0u);  // already there
    EXPECT_TRUE(IsRebootMarkerPresent(k.registry));
    EXPECT_EQ(DeleteRebootMarker(k.registry), 0u);
    EXPECT_FALSE(IsRebootMarkerPresent(k.registry));
    EXPECT_EQ(DeleteRebootMarker(k.registry), 2u);
}

// On the visible station ExitWindowsEx; elsewhere it may succeed and restart nothing, so
// InitiateSystemShutdownEx is asked instead, again while Windows is not ready.
TEST(RestartSystem, CallByStation) {
    constexpr uint32_t kLocked = 1271, kNotReady = 21, kDenied = 5;
    constexpr uint32_t kPlannedInstallation = 0x80040002;
    // clang-format off
    struct {
        const char* name;
        bool privilege, visible, exitSucceeds;
        std::deque<uint32_t> shutdownAnswers;
        bool result;
        size_t exitRequests, shutdownRequests;
    } cases[] = {
        {"visible_accepted", true, true, true, {}, true, 1, 0},
        {"visible_refused", true, true, false, {}, false, 1, 0},
        {"no_privilege", false, true, true, {}, false, 0, 0},
        {"service_accepted", true, false, true, {}, true, 0, 1},
        {"service_refused", true, false, true, {kDenied}, false, 0, 1},
        {"service_ready_after_waiting", true, false, true, {kLocked, kNotReady, kLocked}, true, 0, 4},
        {"service_never_ready", true, false, true, std::deque<uint32_t>(11, kNotReady), false, 0, 11},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        k.restarter.privilege = c.privilege;
        k.restarter.exitWindowsSucceeds = c.exitSucceeds;
        k.restarter.shutdownAnswers = c.shutdownAnswers;
        EXPECT_EQ(RestartSystem(k.restarter, c.visible), c.result);
        ASSERT_EQ(k.restarter.exitWindows.size(), c.exitRequests);
        if (c.exitRequests) {
            EXPECT_EQ(k.restarter.exitWindows[0], std::make_pair(6u, 0x40000u));
        }
        EXPECT_EQ(k.restarter.shutdownRequests,
                  std::vector<uint32_t>(c.shutdownRequests, kPlannedInstallation));
        EXPECT_EQ(k.restarter.sleeps,
                  std::vector<uint32_t>(c.shutdownRequests ? c.shutdownRequests - 1 : 0, 1000u));
    }
}

TEST(HandlePendingRestart, Table) {
    constexpr int kYes = 6, kNo = 7;
    using P = RestartPolicy;
    // clang-format off
    struct {
        const char* name;
        bool markerBefore;
        ToolResult tool;
        RestartPolicy policy;
        int answer;  // 0: no answer scripted
        bool restartWorks;
        int result;
        std::vector<std::string> boxes;
        size_t restarts;
        bool markerAfter;
    } cases[] = {
        {"nothing_pending", false, {true, 0}, P::kAsk, 0, true, 0, {}, 0, false},
        {"tool_3011_is_no_request", false, {true, 3011}, P::kAsk, 0, true, 0, {}, 0, false},
        {"tool_not_run", false, {false, 3010}, P::kAsk, 0, true, 0, {}, 0, false},
        {"tool_3010_noreboot_keeps", false, {true, 3010}, P::kLeaveToLaterRun, 0, true, 0, {}, 0,
         true},
        {"marker_declined", true, {true, 0}, P::kAsk, kNo, true, 0, {"m121"}, 0, false},
        {"marker_accepted", true, {true, 0}, P::kAsk, kYes, true, 0, {"m121"}, 1, false},
        {"silent_restarts_at_once", false, {true, 3010}, P::kRestartAtOnce, 0, true, 0, {}, 1,
         false},
        // A restart that could not be requested is still due: the marker is back for later.
        {"restart_fails", true, {true, 0}, P::kAsk, kYes, false, 7, {"m121", "m125"}, 1, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Kit k;
        if (c.markerBefore) k.registry.AddKey(kMarker);
        if (c.answer) k.ui.answers = {c.answer};
        k.restarter.exitWindowsSucceeds = c.restartWorks;
        RunContext run(k.plat);
        EXPECT_EQ(HandlePendingRestart(run, c.policy, true, c.tool), c.result);
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
