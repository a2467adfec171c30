// Lines of the file check that ask the window's user to touch "Update": on a command line
// they mean nothing.
#pragma once

#include <string_view>

#include "procedures/procedure_messages.h"
#include "runs/sink_in_front.h"

namespace velkor {

class WindowTextsLeftOut final : public SinkInFront {
  public:
    // Sits in front of the sink of `report` for its own lifetime.
    explicit WindowTextsLeftOut(Report& report) : SinkInFront(report) {}

    void AppendText(std::string_view text) override {
        if (text != kLogReady && text != kLogReadyForSlave) {
            SinkInFront::AppendText(text);
        }
    }
};

}  // namespace velkor
