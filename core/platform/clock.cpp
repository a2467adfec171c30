#include "platform/clock.h"

#include <chrono>
#include <thread>

namespace velkor {

std::uint32_t RealClock::NowMs() {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count();
    return static_cast<std::uint32_t>(ms);  // wraps like a 32-bit tick counter
}

void RealClock::SleepMs(std::uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace velkor
