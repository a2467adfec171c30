#include "runs/run_stop.h"

#include <algorithm>

namespace velkor {

void RunStop::Stop(int signal_number) {
    std::lock_guard lock(mutex_);
    int none = 0;
    drain_signal_.compare_exchange_strong(none, signal_number);
    none = 0;
    if (!signal_.compare_exchange_strong(none, signal_number)) {
        return;
    }
    for (LinkContext* context : contexts_) {
        context->RequestStop();
    }
    ending_.notify_all();
}

void RunStop::Drain(int signal_number) {
    bool first = false;
    {
        std::lock_guard lock(mutex_);
        int none = 0;
        first = drain_signal_.compare_exchange_strong(none, signal_number);
        ending_.notify_all();
    }
    // Under its own lock, so that whoever clears the notice waits for one under way.
    std::lock_guard notice_lock(notice_mutex_);
    if (first && drain_notice_) {
        drain_notice_();
    }
}

void RunStop::SetDrainNotice(std::function<void()> notice) {
    std::lock_guard notice_lock(notice_mutex_);
    drain_notice_ = std::move(notice);
}

bool RunStop::SleepUnlessEnding(std::chrono::milliseconds ms) {
    std::unique_lock lock(mutex_);
    return !ending_.wait_for(lock, ms, [this] { return woken_ || drain_signal_.load() != 0; });
}

void RunStop::WakeSleepers() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    ending_.notify_all();
}

RunStop::Watch::Watch(RunStop* stop, LinkContext& context) : stop_(stop), context_(context) {
    if (stop_ == nullptr) {
        return;
    }
    std::lock_guard lock(stop_->mutex_);
    stop_->contexts_.push_back(&context_);
    if (stop_->signal_.load() != 0) {
        context_.RequestStop();  // stopped before this session began: it ends at its first wait
    }
}

RunStop::Watch::~Watch() {
    if (stop_ == nullptr) {
        return;
    }
    std::lock_guard lock(stop_->mutex_);
    auto& contexts = stop_->contexts_;
    contexts.erase(std::remove(contexts.begin(), contexts.end(), &context_), contexts.end());
}

void HeldAfterStop::AppendText(std::string_view text) {
    Send({std::string(text), std::nullopt, false});
}

void HeldAfterStop::AppendMarked(std::string_view text, LogKind kind) {
    Send({std::string(text), kind, false});
}

void HeldAfterStop::AppendForeign(std::string_view text, std::optional<LogKind> kind) {
    Send({std::string(text), kind, true});
}

void HeldAfterStop::ResetProgress(int maximum) {
    if (!Holding()) {
        next_.ResetProgress(maximum);
    }
}

void HeldAfterStop::SetProgress(int position) {
    if (!Holding()) {
        next_.SetProgress(position);
    }
}

void HeldAfterStop::AdvanceStream(const StreamProgress& progress) {
    if (!Holding()) {
        next_.AdvanceStream(progress);
    }
}

void HeldAfterStop::Send(const Held& piece) {
    {
        std::lock_guard lock(mutex_);
        if (Holding()) {
            held_.push_back(piece);
            return;
        }
    }
    Forward(piece);
}

void HeldAfterStop::Forward(const Held& piece) {
    // Details stand on lines of their own where they are shown; text from the unit never
    // ends a line of velkor-flash's log.
    if (!piece.text.empty() && piece.kind != LogKind::kDetail) {
        at_line_start_ = !piece.foreign && piece.text.back() == '\n';
    }
    if (piece.foreign) {
        next_.AppendForeign(piece.text, piece.kind);
    } else if (piece.kind) {
        next_.AppendMarked(piece.text, *piece.kind);
    } else {
        next_.AppendText(piece.text);
    }
}

void HeldAfterStop::AppendClosingLine(std::string_view line) {
    std::string text = at_line_start_ ? std::string() : std::string("\r\n");
    text += line;
    next_.AppendMarked(text, LogKind::kOutcome);
}

void HeldAfterStop::PassOn() {
    std::vector<Held> held;
    {
        std::lock_guard lock(mutex_);
        held.swap(held_);
    }
    for (const Held& piece : held) {
        Forward(piece);
    }
}

}  // namespace velkor
