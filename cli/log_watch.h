// Watches the log on its way to the installed sink: whether it stands at the start of a line.
#pragma once

#include <string_view>

#include "report/report.h"

namespace velkor {

class LogWatch final : public ReportSink {
  public:
    // Passes everything on to the sink installed until now, for its own lifetime.
    LogWatch() : next_(InstallReportSink(this)) {}
    ~LogWatch() override { InstallReportSink(next_); }
    LogWatch(const LogWatch&) = delete;
    LogWatch& operator=(const LogWatch&) = delete;

    void AppendText(std::string_view text) override {
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

    bool at_line_start() const { return at_line_start_; }

  private:
    ReportSink* next_;
    bool at_line_start_ = true;
};

}  // namespace velkor
