// Where the screen part of one unit's log goes while several units are updated at once: its
// status line on a terminal, or its lines prefixed with its port otherwise.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "report/report.h"
#include "terminal/progress_line.h"
#include "terminal/status_board.h"

namespace velkor {

// Standard error shared by the units' threads; one whole line at a time.
class SharedLines {
  public:
    explicit SharedLines(std::FILE* out) : out_(out) {}
    void Write(std::string_view line);

  private:
    std::mutex mutex_;
    std::FILE* out_;
};

// Each log line as "PORT: line", and a progress line each tenth of the programming stream. No
// progress bar: the lines of other units would break it.
class PrefixedUnitSink final : public ReportSink {
  public:
    PrefixedUnitSink(SharedLines& out, std::string port) : out_(out), prefix_(std::move(port)) {
        prefix_ += ": ";
    }
    ~PrefixedUnitSink() override;
    PrefixedUnitSink(const PrefixedUnitSink&) = delete;
    PrefixedUnitSink& operator=(const PrefixedUnitSink&) = delete;

    void AppendText(std::string_view text) override;  // plain "\n" line ends
    void ResetProgress(int maximum) override;
    void SetProgress(int /*position*/) override {}
    void AdvanceStream(const StreamProgress& progress) override;

  private:
    SharedLines& out_;
    std::string prefix_;
    std::string partial_;  // the unfinished last line
    StreamClock stream_clock_;
    StreamLogLines stream_lines_;
};

// The unit's stage, and the percent while programming, on its line of the board; the log text
// itself goes only to the unit's log file.
class StatusLineSink final : public ReportSink {
  public:
    StatusLineSink(StatusBoard& board, std::size_t row) : board_(board), row_(row) {}

    void ShowStage(std::string_view stage);

    void AppendText(std::string_view /*text*/) override {}
    void ResetProgress(int maximum) override;
    void SetProgress(int position) override;

  private:
    StatusBoard& board_;
    std::size_t row_;
    std::string stage_;
    int maximum_ = 1;
};

}  // namespace velkor
