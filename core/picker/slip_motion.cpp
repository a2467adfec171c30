#include "picker/slip_motion.h"

#include <algorithm>
#include <climits>

namespace velkor {
namespace {

int ClampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT_MIN, INT_MAX));
}

std::int64_t Magnitude(std::int64_t value) {
    return value < 0 ? -value : value;
}

}  // namespace

void SlipMotion::StartDrag(int y) {
    drag_state_ = DragState::kDragging;
    last_y_ = y;
    last_tick_ = clock_.NowMs();
}

void SlipMotion::TouchDown(int y) {
    // The velocity stays: lifting again without a step resumes the glide that was stopped.
    StartDrag(y);
}

void SlipMotion::Move(int y) {
    if (drag_state_ != DragState::kDragging) {
        StartDrag(y);
        return;
    }
    const std::int64_t dy = static_cast<std::int64_t>(y) - last_y_;
    if (Magnitude(dy) <= kSlipStepThreshold) {
        return;  // small movements add up until one step exceeds the threshold
    }
    const std::uint32_t now = clock_.NowMs();
    std::int64_t elapsed = static_cast<std::uint32_t>(now - last_tick_);
    if (elapsed == 0) {
        elapsed = 1;  // two steps within one millisecond
    }
    velocity_ = ClampToInt(-(kSlipVelocityFactor * dy) / elapsed);
    host_.ScrollVertically(ClampToInt(-dy));
    last_tick_ = now;
    last_y_ = y;
}

void SlipMotion::Lift() {
    drag_state_ = DragState::kGliding;
    if (!timer_running_) {
        host_.StartTimer(kGlideTimerId, kGlidePeriodMs);
        timer_running_ = true;
    }
}

void SlipMotion::Timer(int timer_id) {
    if (timer_id != kGlideTimerId || drag_state_ != DragState::kGliding) {
        return;
    }
    if (Magnitude(velocity_) > kGlideStopThreshold) {
        host_.ScrollVertically(velocity_);
        velocity_ += velocity_ > 0 ? -kGlideDecay : kGlideDecay;
        return;
    }
    drag_state_ = DragState::kIdle;
    StopGlideTimer();
}

void SlipMotion::FinalRelease() {
    StopGlideTimer();
}

void SlipMotion::StopGlideTimer() {
    if (timer_running_) {
        host_.KillTimer(kGlideTimerId);
        timer_running_ = false;
    }
}

}  // namespace velkor
