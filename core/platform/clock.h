// Millisecond time source for every wait on the serial line.
#pragma once

#include <atomic>
#include <cstdint>

namespace velkor {

class Clock {
  public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32: take differences as uint32_t.
    virtual std::uint32_t NowMs() = 0;
    virtual void SleepMs(std::uint32_t ms) = 0;
};

// The steady clock of the machine.
class RealClock final : public Clock {
  public:
    std::uint32_t NowMs() override;
    void SleepMs(std::uint32_t ms) override;
};

// Time that moves only when someone sleeps or advances it, so that tests of multi-second
// time-outs run instantly and to the millisecond.
class VirtualClock : public Clock {
  public:
    explicit VirtualClock(std::uint32_t start = 0) : now_(start) {}
    std::uint32_t NowMs() override { return now_.load(); }
    void SleepMs(std::uint32_t ms) override { Advance(ms); }
    void Advance(std::uint32_t ms) { now_.fetch_add(ms); }
    void Set(std::uint32_t now) { now_.store(now); }

  private:
    std::atomic<std::uint32_t> now_;
};

}  // namespace velkor
