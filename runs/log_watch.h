// Watches the log on its way to the installed sink: whether it stands at the start of a line.
#pragma once

#include <string_view>

#include "runs/sink_in_front.h"

namespace velkor {

class LogWatch final : public SinkInFront {
  public:
    // Sits in front of the sink of `report`, for its own lifetime, passing everything on.
    explicit LogWatch(Report& report) : SinkInFront(report) {}

    void AppendText(std::string_view text) override {
        if (!text.empty()) {
            at_line_start_ = text.back() == '\n';
        }
        SinkInFront::AppendText(text);
    }
    // Details stand on lines of their own where they are shown, so only the other kinds move
    // the log's own line.
    void AppendMarked(std::string_view text, LogKind kind) override {
        if (!text.empty() && kind != LogKind::kDetail) {
            at_line_start_ = text.back() == '\n';
        }
        SinkInFront::AppendMarked(text, kind);
    }
    // Text from the unit never ends the log's line: a sink of velkor-flash shows its line ends
    // escaped.
    void AppendForeign(std::string_view text, std::optional<LogKind> kind) override {
        if (!text.empty() && kind != LogKind::kDetail) {
            at_line_start_ = false;
        }
        SinkInFront::AppendForeign(text, kind);
    }

    bool at_line_start() const { return at_line_start_; }

  private:
    bool at_line_start_ = true;
};

}  // namespace velkor
