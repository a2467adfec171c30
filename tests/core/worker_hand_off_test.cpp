#include "session/worker_hand_off.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace velkor {
namespace {

TEST(WorkerHandOff, LastStoreWinsBeforeTheWorkerTakes) {
    WorkerHandOff hand_off;
    hand_off.Store(8);
    hand_off.Store(4);
    EXPECT_EQ(hand_off.Take(), 4u);
}

TEST(WorkerHandOff, CommandStoredBeforeTheWorkerStartsIsNotLost) {
    WorkerHandOff hand_off;
    hand_off.Store(8);  // as at start-up: stored right after the thread was created
    std::uint32_t taken = 0;
    std::thread worker([&] { taken = hand_off.Take(); });
    worker.join();
    EXPECT_EQ(taken, 8u);
}

TEST(WorkerHandOff, SleepingWorkerIsIdleAndWakesForACommand) {
    WorkerHandOff hand_off;
    std::vector<std::uint32_t> taken;
    std::thread worker([&] {
        for (std::uint32_t command; (command = hand_off.Take()) != 0;) {
            taken.push_back(command);
        }
    });
    while (!hand_off.idle()) {
        std::this_thread::yield();
    }
    hand_off.Store(3);
    while (!hand_off.idle()) {
        std::this_thread::yield();
    }
    hand_off.Stop();
    worker.join();
    EXPECT_EQ(taken, (std::vector<std::uint32_t>{3}));
}

// Many rounds of a store racing the worker's way to sleep: every command must be taken.
TEST(WorkerHandOff, NoWakeUpIsMissed) {
    WorkerHandOff hand_off;
    constexpr std::uint32_t kRounds = 20000;
    std::atomic<std::uint32_t> taken{0};
    std::thread worker([&] {
        while (hand_off.Take() != 0) {
            ++taken;
        }
    });
    for (std::uint32_t round = 1; round <= kRounds; ++round) {
        hand_off.Store(round % 9 + 1);
        while (taken.load() != round) {
            std::this_thread::yield();
        }
    }
    hand_off.Stop();
    worker.join();
    EXPECT_EQ(taken.load(), kRounds);
}

TEST(WorkerHandOff, StopEndsEveryTake) {
    WorkerHandOff hand_off;
    hand_off.Store(5);
    hand_off.Stop();
    EXPECT_EQ(hand_off.Take(), 0u);
    EXPECT_EQ(hand_off.Take(), 0u);
}

}  // namespace
}  // namespace velkor
