// The drag and glide arithmetic of the touch-drag list: a finger dragged more than 20 pixels
// scrolls the rows along with it, and on the lift the list glides on at the finger's last
// speed, 2 pixels per tick slower each 20 ms tick, until the speed is 20 or less.
#pragma once

#include <cstdint>

#include "platform/clock.h"

namespace velkor {

inline constexpr int kSlipStepThreshold = 20;  // pixels a drag step must exceed
inline constexpr int kSlipVelocityFactor = 20;
inline constexpr int kGlideTimerId = 5;
inline constexpr int kGlidePeriodMs = 20;
inline constexpr int kGlideDecay = 2;
inline constexpr int kGlideStopThreshold = 20;  // gliding goes on only above this speed

enum class DragState : int { kIdle = 0, kDragging = 1, kGliding = 2 };

// What the motion does to the list it drives.
class SlipHost {
  public:
    virtual ~SlipHost() = default;
    // Scrolls the content by `pixels` (positive: towards later rows).
    virtual void ScrollVertically(int pixels) = 0;
    virtual void StartTimer(int timer_id, int period_ms) = 0;
    virtual void KillTimer(int timer_id) = 0;
};

class SlipMotion {
  public:
    SlipMotion(Clock& clock, SlipHost& host) : clock_(clock), host_(host) {}

    // The mouse messages, with the y of their point in client pixels.
    void TouchDown(int y);
    void Move(int y);
    void Lift();
    // A timer message; only the glide timer while gliding does anything.
    void Timer(int timer_id);
    // The control goes away: the glide timer must not outlive it.
    void FinalRelease();

    bool timer_running() const { return timer_running_; }
    DragState drag_state() const { return drag_state_; }
    int last_y() const { return last_y_; }
    int velocity() const { return velocity_; }
    std::uint32_t last_tick() const { return last_tick_; }

  private:
    void StartDrag(int y);
    void StopGlideTimer();

    Clock& clock_;
    SlipHost& host_;
    bool timer_running_ = false;
    DragState drag_state_ = DragState::kIdle;
    int last_y_ = 0;
    int velocity_ = 0;  // pixels per tick; the sign is the direction
    std::uint32_t last_tick_ = 0;
};

}  // namespace velkor
