#include "session/worker_hand_off.h"

namespace velkor {

void WorkerHandOff::Store(std::uint32_t command) {
    {
        std::lock_guard lock(mutex_);
        pending_ = command;
        if (command != 0) {
            idle_ = false;
        }
    }
    wake_.notify_one();
}

std::uint32_t WorkerHandOff::Take() {
    std::unique_lock lock(mutex_);
    while (pending_ == 0 && !stopping_) {
        idle_ = true;
        wake_.wait(lock);
    }
    idle_ = false;
    if (stopping_) {
        return 0;
    }
    const std::uint32_t command = pending_;
    pending_ = 0;
    return command;
}

std::uint32_t WorkerHandOff::pending() {
    std::lock_guard lock(mutex_);
    return pending_;
}

void WorkerHandOff::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
}

}  // namespace velkor
