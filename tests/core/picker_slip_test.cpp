#include "picker/slip_motion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "picker/row_scroll.h"
#include "platform/clock.h"

namespace velkor {
namespace {

// Records what the motion does to its list.
class RecordingHost : public SlipHost {
  public:
    void ScrollVertically(int pixels) override { scrolls.push_back(pixels); }
    void StartTimer(int timer_id, int period_ms) override {
        starts.push_back({timer_id, period_ms});
    }
    void KillTimer(int timer_id) override { kills.push_back(timer_id); }

    std::vector<int> scrolls;
    std::vector<std::pair<int, int>> starts;
    std::vector<int> kills;
};

class SlipMotionTest : public ::testing::Test {
  protected:
    // One drag step of `dy` pixels `elapsed_ms` after the touch at y = 500.
    void Drag(int dy, std::uint32_t elapsed_ms) {
        motion_.TouchDown(500);
        clock_.Advance(elapsed_ms);
        motion_.Move(500 + dy);
    }
    // Lifts and ticks the glide timer until the glide ends; returns the glide's scrolls.
    std::vector<int> LiftAndGlide() {
        motion_.Lift();
        host_.scrolls.clear();
        for (int ticks = 0; motion_.timer_running() && ticks < 1000; ++ticks) {
            clock_.Advance(kGlidePeriodMs);
            motion_.Timer(kGlideTimerId);
        }
        return host_.scrolls;
    }

    VirtualClock clock_{1000};
    RecordingHost host_;
    SlipMotion motion_{clock_, host_};
};

TEST_F(SlipMotionTest, WorkedExampleGlidesTenTicksForThreeHundredTenPixels) {
    Drag(100, 50);
    EXPECT_EQ(host_.scrolls, std::vector<int>{-100});
    EXPECT_EQ(motion_.velocity(), -40);
    EXPECT_EQ(LiftAndGlide(), (std::vector<int>{-40, -38, -36, -34, -32, -30, -28, -26, -24, -22}));
    EXPECT_EQ(host_.starts, (std::vector<std::pair<int, int>>{{5, 20}}));
    EXPECT_EQ(host_.kills, std::vector<int>{5});
    EXPECT_EQ(motion_.velocity(), -20);
    EXPECT_EQ(motion_.drag_state(), DragState::kIdle);
}

TEST_F(SlipMotionTest, VelocityAndGlideTable) {
    struct Case {
        int dy;
        std::uint32_t elapsed_ms;
        int velocity;
        std::vector<int> glide;
    };
    const Case cases[] = {
        {21, 1000, 0, {}},          // slow drag: 420 / 1000 truncates to 0
        {21, 420, -1, {}},          // 20 or less never glides
        {21, 21, -20, {}},          // exactly 20
        {-21, 21, 20, {}},          //
        {25, 21, -23, {-23, -21}},  // 500 / 21 truncates toward zero
        {21, 0, -420, {}},          // same millisecond counts as one
        {-50, 3, 333, {}},          //
    };
    for (const Case& c : cases) {
        VirtualClock clock(5000);
        RecordingHost host;
        SlipMotion motion(clock, host);
        motion.TouchDown(500);
        clock.Advance(c.elapsed_ms);
        motion.Move(500 + c.dy);
        EXPECT_EQ(host.scrolls, std::vector<int>{-c.dy}) << c.dy << " in " << c.elapsed_ms;
        EXPECT_EQ(motion.velocity(), c.velocity) << c.dy << " in " << c.elapsed_ms;
        if (c.velocity > -24 && c.velocity < 24) {
            motion.Lift();
            host.scrolls.clear();
            for (int tick = 0; tick < 3; ++tick) {
                motion.Timer(kGlideTimerId);
            }
            EXPECT_EQ(host.scrolls, c.glide) << c.dy << " in " << c.elapsed_ms;
            EXPECT_FALSE(motion.timer_running());
        }
    }
    Drag(-30, 10);
    const auto up = LiftAndGlide();
    ASSERT_EQ(up.size(), 20u);
    EXPECT_EQ(up.front(), 60);
    EXPECT_EQ(up.back(), 22);
}

TEST_F(SlipMotionTest, TapWithoutMovementEndsOnTheFirstTick) {
    motion_.TouchDown(50);
    EXPECT_TRUE(LiftAndGlide().empty());
    EXPECT_EQ(host_.starts.size(), 1u);
    EXPECT_EQ(host_.kills.size(), 1u);
    // A second glide starts the timer again.
    motion_.TouchDown(50);
    motion_.Lift();
    EXPECT_EQ(host_.starts.size(), 2u);
}

TEST_F(SlipMotionTest, SmallMovementsAddUpUntilOneExceedsTwentyPixels) {
    motion_.TouchDown(100);
    for (int y : {110, 120, 90, 80, 100, 120}) {
        clock_.Advance(1000);
        motion_.Move(y);
    }
    EXPECT_TRUE(host_.scrolls.empty());
    EXPECT_EQ(motion_.last_tick(), 1000u);
    motion_.Move(121);
    motion_.Move(100);
    EXPECT_EQ(host_.scrolls, (std::vector<int>{-21, 21}));
    EXPECT_EQ(motion_.last_tick(), 7000u);
}

TEST_F(SlipMotionTest, ElapsedTimeWrapsWithTheTickCounter) {
    clock_.Set(0xFFFFFFF0u);
    Drag(64, 0x20);
    EXPECT_EQ(motion_.velocity(), -40);
}

TEST_F(SlipMotionTest, TouchDuringAGlideStopsItAndALiftResumesIt) {
    Drag(100, 50);
    motion_.Lift();
    motion_.Timer(kGlideTimerId);
    motion_.Timer(kGlideTimerId);
    ASSERT_EQ(motion_.velocity(), -36);

    motion_.TouchDown(150);
    host_.scrolls.clear();
    motion_.Timer(kGlideTimerId);  // still running, but touched: nothing
    motion_.Move(170);
    EXPECT_TRUE(host_.scrolls.empty());
    EXPECT_EQ(motion_.velocity(), -36);
    EXPECT_EQ(motion_.drag_state(), DragState::kDragging);

    motion_.Lift();
    EXPECT_EQ(host_.starts.size(), 1u);  // the running timer is not started again
    motion_.Timer(kGlideTimerId);
    EXPECT_EQ(host_.scrolls, std::vector<int>{-36});
}

TEST_F(SlipMotionTest, MoveWithoutATouchOrDuringAGlideStartsADrag) {
    clock_.Set(4000);
    motion_.Move(300);
    EXPECT_EQ(motion_.drag_state(), DragState::kDragging);
    EXPECT_EQ(motion_.last_y(), 300);
    EXPECT_EQ(motion_.last_tick(), 4000u);
    motion_.Lift();
    motion_.Move(0);
    EXPECT_EQ(motion_.drag_state(), DragState::kDragging);
    EXPECT_TRUE(host_.scrolls.empty());
}

TEST_F(SlipMotionTest, OtherTimersDoNothingAndFinalReleaseKillsOnce) {
    Drag(100, 5);
    motion_.Lift();
    host_.scrolls.clear();
    for (int id : {0, 3, 4, 6}) {
        motion_.Timer(id);
    }
    EXPECT_TRUE(host_.scrolls.empty());
    EXPECT_TRUE(host_.kills.empty());
    motion_.FinalRelease();
    motion_.FinalRelease();
    EXPECT_EQ(host_.kills, std::vector<int>{kGlideTimerId});
    EXPECT_FALSE(motion_.timer_running());
}

TEST(SlipRows, PixelsRoundToTheNearestWholeRow) {
    struct Case {
        int pixels, row_height, rows;
    };
    const Case cases[] = {
        {0, 40, 0},    {19, 40, 0},    {20, 40, 1}, {60, 40, 2}, {-19, 40, 0},
        {-20, 40, -1}, {-100, 40, -3}, {20, 41, 0}, {21, 41, 1}, {100, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WholeRows(c.pixels, c.row_height), c.rows) << c.pixels << " / " << c.row_height;
    }
}

}  // namespace
}  // namespace velkor
