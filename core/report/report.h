// Log and progress reporting shared by every part of the tool.
//
// The core never talks to a window or a terminal directly: it reports through the Report of
// its session, which forwards to the sink the front end gave it (the main window, the
// terminal, or a capturing sink in tests).
#pragma once

#include <atomic>
#include <cstddef>
#include <optional>
#include <string_view>

namespace velkor {

// What a piece of log text is, for a front end that shows less or more than the plain log
// (velkor-flash -q and -v).
enum class LogKind {
    kError,    // why something failed or was refused
    kOutcome,  // how an operation ended: the line a quiet log keeps
    kDetail,   // what a verbose log adds, such as each command as it is sent
};

// How far the programming record stream has come: records answered and their image bytes.
struct StreamProgress {
    std::size_t records_done = 0;
    std::size_t records_total = 0;
    std::size_t bytes_done = 0;
    std::size_t bytes_total = 0;
};

class ReportSink {
  public:
    virtual ~ReportSink() = default;
    // Appends a piece of UTF-8 text to the log. Line ends are "\r\n".
    virtual void AppendText(std::string_view text) = 0;
    // Appends text of a kind. A sink that does not tell kinds apart shows errors and outcomes
    // as any other text and leaves details out, so its log stays as it always was.
    virtual void AppendMarked(std::string_view text, LogKind kind) {
        if (kind != LogKind::kDetail) {
            AppendText(text);
        }
    }
    // Appends text that came from outside the tool (an MCU reply, a firmware file's own text),
    // in UTF-8, as part of log text of `kind` (none: plain). Its control characters, line ends
    // included, are the outside's and not the log's: a sink that writes to a terminal or a
    // file shows them escaped (EscapeControls). This one shows it as any other text, as a
    // window's plain-text log does.
    virtual void AppendForeign(std::string_view text, std::optional<LogKind> kind) {
        if (kind) {
            AppendMarked(text, *kind);
        } else {
            AppendText(text);
        }
    }
    // Sets the progress range to 0..maximum, step 1, position 0.
    virtual void ResetProgress(int maximum) = 0;
    virtual void SetProgress(int position) = 0;
    // After each record of the programming stream, and once before the first: finer than the
    // progress position, for a front end that shows bytes and rates. Ignored by default.
    virtual void AdvanceStream(const StreamProgress& /*progress*/) {}
};

// Size of the formatting buffer of LogPrintf, terminator included.
inline constexpr int kLogPrintfBufferSize = 1024;

// The log and progress of one update session. The parts of the core that report are handed
// the session's Report (through the link context, or at construction) and write through it;
// the front end decides where it all goes with the sink it gives. Two sessions in one process
// therefore never write into each other's log. Callable from any thread: every call returns
// once the sink has taken it.
class Report {
  public:
    // With no sink, reports are dropped.
    explicit Report(ReportSink* sink = nullptr) : sink_(sink) {}
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    // Sends what follows to `sink` (null: dropped) and returns the sink used until now.
    ReportSink* SetSink(ReportSink* sink) { return sink_.exchange(sink); }

    void AppendLog(std::string_view text);
    // Text of a kind: see LogKind.
    void AppendError(std::string_view text) { AppendMarked(text, LogKind::kError); }
    void AppendOutcome(std::string_view text) { AppendMarked(text, LogKind::kOutcome); }
    void AppendDetail(std::string_view text) { AppendMarked(text, LogKind::kDetail); }
    void AppendMarked(std::string_view text, LogKind kind);
    // Bytes from outside the tool (an MCU reply, a firmware file's text), each a Latin-1
    // character, within log text the caller ends itself: see ReportSink::AppendForeign.
    void AppendForeign(std::string_view bytes, std::optional<LogKind> kind = std::nullopt);
    // Formats narrow text (MCU replies, numbers) into a 1024-byte buffer, cutting anything
    // longer, and appends it to the log. Every byte counts as a Latin-1 character.
    void LogPrintf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void ProgressReset(int maximum);
    void ProgressSet(int position);
    void StreamAdvanced(const StreamProgress& progress);

  private:
    std::atomic<ReportSink*> sink_;
};

}  // namespace velkor
