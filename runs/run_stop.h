// The stop of a velkor-flash run: the first SIGINT, SIGTERM or SIGHUP stops every session at
// its next safe point, between two records or at once while it waits.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_context.h"
#include "report/report.h"

namespace velkor {

// The exit status of a run stopped by signal n is this plus n, as a shell shows a program
// the signal ended.
inline constexpr int kExitSignalBase = 128;

// What a run stopped by a signal says in its log, by how far it had come.
inline constexpr std::string_view kLogInterruptedNothingWritten =
    "Interrupted: nothing was written to the unit\r\n";
inline constexpr std::string_view kLogInterruptedInBootLoader =
    "Interrupted: the unit is left in its boot loader; run the update again with --recover to "
    "finish it\r\n";
inline constexpr std::string_view kLogInterruptedBeforeVerify =
    "Interrupted: the update was written but not verified\r\n";
inline constexpr std::string_view kLogInterruptedOptionsSent =
    "Interrupted: the options were sent but not acknowledged; run config again to see what the "
    "unit holds\r\n";

// Shared by the signal thread and the sessions of one run; the run owns it.
class RunStop {
  public:
    // From any thread: remembers the first signal and stops every session watched now or
    // later.
    void Stop(int signal_number);
    // The signal that stopped the run; 0 while it goes on.
    int signal() const { return signal_.load(); }

    // For a run that ends by finishing what it does (a station): from any thread, remembers
    // the first signal, which lets the sessions under way finish and starts nothing new; a
    // later Stop stops them.
    void Drain(int signal_number);
    // The signal that asked the run to drain, or to stop; 0 while it goes on.
    int drain_signal() const { return drain_signal_.load(); }
    // Waits `ms`, or less when the run is asked to drain or stop; false when it was.
    bool SleepUnlessEnding(std::chrono::milliseconds ms);
    // Ends every SleepUnlessEnding under way, as a drain does, without a signal.
    void WakeSleepers();
    // Called on the thread that drains, right after the first Drain, so that a run can say at
    // once what the signal does; none clears it. The run that sets it clears it before it
    // goes.
    void SetDrainNotice(std::function<void()> notice);

    // A session's link, stopped with the run while the watch lives; `stop` may be null.
    class Watch {
      public:
        Watch(RunStop* stop, LinkContext& context);
        ~Watch();
        Watch(const Watch&) = delete;
        Watch& operator=(const Watch&) = delete;

      private:
        RunStop* stop_;
        LinkContext& context_;
    };

  private:
    std::mutex mutex_;
    std::vector<LinkContext*> contexts_;
    std::atomic<int> signal_{0};
    std::atomic<int> drain_signal_{0};
    std::condition_variable ending_;
    bool woken_ = false;
    std::mutex notice_mutex_;
    std::function<void()> drain_notice_;
};

// The log of a session on its way to `next`; what comes after the run was stopped is held
// back. A run cut short by the stop drops it, since what failed then failed only because of
// the stop, and says itself how it ended; a run that ended as it would have passes it on.
class HeldAfterStop final : public ReportSink {
  public:
    HeldAfterStop(ReportSink& next, const RunStop* stop) : next_(next), stop_(stop) {}
    HeldAfterStop(const HeldAfterStop&) = delete;
    HeldAfterStop& operator=(const HeldAfterStop&) = delete;

    void AppendText(std::string_view text) override;
    void AppendMarked(std::string_view text, LogKind kind) override;
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override;
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;
    void AdvanceStream(const StreamProgress& progress) override;

    // The held text goes on to `next` after all, in order.
    void PassOn();
    // A line of the run's own, after what was passed on so far, on a line of its own: how the
    // stopped run ended.
    void AppendClosingLine(std::string_view line);

  private:
    struct Held {
        std::string text;
        std::optional<LogKind> kind;
        bool foreign = false;
    };
    bool Holding() const { return stop_ != nullptr && stop_->signal() != 0; }
    void Send(const Held& piece);
    void Forward(const Held& piece);

    ReportSink& next_;
    const RunStop* stop_;
    std::mutex mutex_;
    std::vector<Held> held_;
    bool at_line_start_ = true;  // of what went on to `next`
};

}  // namespace velkor
