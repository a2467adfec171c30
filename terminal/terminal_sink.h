// Shows the tool's log and progress on standard error.
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "report/report.h"
#include "terminal/progress_line.h"

namespace velkor {

// Log text goes to `out` with plain "\n" line ends. On a terminal the progress is a bar on the
// last line, each redraw one write that replaces the line in place; log lines that come
// meanwhile go above it. Elsewhere the text is as it came, with a line of its own each tenth
// of a programming stream. While progress is shown, text that does not end its line (the MCU's
// status characters) is held until its line ends, so that the bar, or a progress line, never
// shares a line with it. Errors and outcomes end the progress, as does any text once it is
// complete.
class TerminalSink final : public ReportSink {
  public:
    explicit TerminalSink(std::FILE* out);
    ~TerminalSink() override;
    TerminalSink(const TerminalSink&) = delete;
    TerminalSink& operator=(const TerminalSink&) = delete;

    void AppendText(std::string_view text) override;
    void AppendMarked(std::string_view text, LogKind kind) override;
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;
    void AdvanceStream(const StreamProgress& progress) override;

  private:
    void Show(std::string_view text, bool ends_progress);
    bool Complete() const;
    // On a terminal: puts the bar on the cursor's line, the line's text held until it ends.
    void ShowBar();
    std::string BarLine();
    void Write(std::string_view bytes);

    std::mutex mutex_;
    std::FILE* out_;
    const bool terminal_;
    // On a terminal, whether the bar is on the cursor's line; elsewhere, whether a programming
    // stream goes on. Meanwhile `held_` gathers the text of the unfinished line.
    bool showing_ = false;
    std::string held_;
    // What went out since the last line end (kept on a terminal), and whether there was any.
    std::string line_out_;
    bool at_line_start_ = true;
    // Progress lines that came while a line written before the stream was unfinished.
    std::string owed_;
    std::string drawn_;  // the bar as last drawn
    int maximum_ = 100;
    int position_ = 0;
    std::optional<StreamProgress> stream_;
    StreamClock stream_clock_;
    StreamLogLines log_lines_;
};

}  // namespace velkor
