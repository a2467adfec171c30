// Shows the MCU's status characters without flooding the log: a character is shown when it
// differs from the last one shown, and a run of one character once in ten. The count runs on
// from record to record, so a status of one '.' per record shows every tenth record.
#pragma once

#include <cstdint>

#include "report/report.h"

namespace velkor {

class StatusEcho {
  public:
    explicit StatusEcho(Report& report) : report_(report) {}
    void Feed(std::uint8_t status);

  private:
    Report& report_;
    static constexpr unsigned kShowEvery = 10;

    int last_shown_ = -1;  // none yet: the first character always shows
    unsigned since_shown_ = 0;
};

}  // namespace velkor
