// Lines of the file check that ask the window's user to touch "Update": on a command line
// they mean nothing.
#pragma once

#include <string_view>

#include "procedures/procedure_messages.h"
#include "report/report.h"

namespace velkor {

class WindowTextsLeftOut final : public ReportSink {
  public:
    // Sits in front of the sink of `report` for its own lifetime.
    explicit WindowTextsLeftOut(Report& report) : report_(report), next_(report.SetSink(this)) {}
    ~WindowTextsLeftOut() override { report_.SetSink(next_); }
    WindowTextsLeftOut(const WindowTextsLeftOut&) = delete;
    WindowTextsLeftOut& operator=(const WindowTextsLeftOut&) = delete;

    void AppendText(std::string_view text) override {
        if (next_ != nullptr && text != kLogReady && text != kLogReadyForSlave) {
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

  private:
    Report& report_;
    ReportSink* next_;
};

}  // namespace velkor
