// Shows the tool's log and progress on a terminal.
#pragma once

#include <cstdio>
#include <mutex>
#include <string_view>

#include "report/report.h"

namespace velkor {

// Log text goes to `out` with plain "\n" line ends; the progress is drawn as a bar on the
// same stream only when that stream is a terminal, so a redirected log stays clean.
class TerminalSink final : public ReportSink {
  public:
    explicit TerminalSink(std::FILE* out);
    ~TerminalSink() override;
    TerminalSink(const TerminalSink&) = delete;
    TerminalSink& operator=(const TerminalSink&) = delete;

    void AppendText(std::string_view text) override;
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;

  private:
    void DrawBar();
    void ClearBar();

    std::mutex mutex_;
    std::FILE* out_;
    bool draw_progress_;
    bool bar_shown_ = false;
    int maximum_ = 100;
    int position_ = 0;
};

}  // namespace velkor
