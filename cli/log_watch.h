// Watches the log on its way to the installed sink: whether it stands at the start of a line.
#pragma once

#include <string_view>

#include "report/report.h"

namespace velkor {

class LogWatch final : public ReportSink {
  public:
    // Sits in front of the sink of `report`, for its own lifetime, passing everything on.
    explicit LogWatch(Report& report) : report_(report), next_(report.SetSink(this)) {}
    ~LogWatch() override { report_.SetSink(next_); }
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
    // Details stand on lines of their own where they are shown, so only the other kinds move
    // the log's own line.
    void AppendMarked(std::string_view text, LogKind kind) override {
        if (!text.empty() && kind != LogKind::kDetail) {
            at_line_start_ = text.back() == '\n';
        }
        if (next_ != nullptr) {
            next_->AppendMarked(text, kind);
        }
    }
    // Text from the unit never ends the log's line: a sink of velkor-flash shows its line ends
    // escaped.
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override {
        if (!text.empty() && kind != LogKind::kDetail) {
            at_line_start_ = false;
        }
        if (next_ != nullptr) {
            next_->AppendForeign(text, kind);
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
    void AdvanceStream(const StreamProgress& progress) override {
        if (next_ != nullptr) {
            next_->AdvanceStream(progress);
        }
    }

    bool at_line_start() const { return at_line_start_; }

  private:
    Report& report_;
    ReportSink* next_;
    bool at_line_start_ = true;
};

}  // namespace velkor
