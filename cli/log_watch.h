// Watches the log on its way to the installed sink: whether one of some lines went by, and
// whether the log stands at the start of a line.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

#include "app/report.h"

namespace velkor {

class LogWatch final : public ReportSink {
  public:
    // Passes everything on to the sink installed until now, for its own lifetime.
    explicit LogWatch(std::initializer_list<std::string_view> lines = {})
        : lines_(lines), next_(InstallReportSink(this)) {}
    ~LogWatch() override { InstallReportSink(next_); }
    LogWatch(const LogWatch&) = delete;
    LogWatch& operator=(const LogWatch&) = delete;

    void AppendText(std::string_view text) override {
        for (const std::string_view line : lines_) {
            seen_ = seen_ || text.find(line) != std::string_view::npos;
        }
        if (!text.empty()) {
            at_line_start_ = text.back() == '\n';
        }
        if (next_ != nullptr) {
            next_->AppendText(text);
        }
    }
    void ResetProgress(int maximum) override {
        if (next_ != nullptr) {
            next_->ResetProgress(maximum);
        }
    }
    void SetProgress(int position) override {
        if (next_ != nullptr) {
            next_->SetProgress(position);
        }
    }

    // One of the lines watched for went by.
    bool seen() const { return seen_; }
    bool at_line_start() const { return at_line_start_; }

  private:
    std::vector<std::string_view> lines_;
    ReportSink* next_;
    bool seen_ = false;
    bool at_line_start_ = true;
};

}  // namespace velkor
