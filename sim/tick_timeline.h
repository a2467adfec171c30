// Wrapping millisecond ticks seen as one unbroken timeline, so that schedules of the simulated
// line can be computed in nanoseconds without caring where the tick counter wraps.
#pragma once

#include <cstdint>

namespace velkor::sim {

inline constexpr std::uint64_t kNsPerMs = 1'000'000;

class TickTimeline {
  public:
    explicit TickTimeline(std::uint32_t origin_ms) : origin_ms_(origin_ms), last_ms_(origin_ms) {}

    // Nanoseconds from the origin to `now_ms`. Ticks must be observed in the order they occur,
    // less than one wrap (49 days) apart.
    std::uint64_t Observe(std::uint32_t now_ms) {
        elapsed_ms_ += static_cast<std::uint32_t>(now_ms - last_ms_);
        last_ms_ = now_ms;
        return elapsed_ms_ * kNsPerMs;
    }

    // The first tick at which `ns` from the origin has passed.
    std::uint32_t TickAt(std::uint64_t ns) const {
        return origin_ms_ + static_cast<std::uint32_t>((ns + kNsPerMs - 1) / kNsPerMs);
    }

  private:
    std::uint32_t origin_ms_;
    std::uint32_t last_ms_;
    std::uint64_t elapsed_ms_ = 0;
};

}  // namespace velkor::sim
