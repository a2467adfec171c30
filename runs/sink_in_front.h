// A sink that stands in front of a report's own sink for its lifetime and passes everything
// on; a derived sink looks at, or leaves out, what it cares about.
#pragma once

#include <optional>
#include <string_view>

#include "report/report.h"

namespace velkor {

class SinkInFront : public ReportSink {
  public:
    explicit SinkInFront(Report& report) : report_(report), next_(report.SetSink(this)) {}
    ~SinkInFront() override { report_.SetSink(next_); }
    SinkInFront(const SinkInFront&) = delete;
    SinkInFront& operator=(const SinkInFront&) = delete;

    void AppendText(std::string_view text) override {
        if (next_ != nullptr) {
            next_->AppendText(text);
        }
    }
    void AppendMarked(std::string_view text, LogKind kind) override {
        if (next_ != nullptr) {
            next_->AppendMarked(text, kind);
        }
    }
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override {
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

  private:
    Report& report_;
    ReportSink* next_;
};

}  // namespace velkor
