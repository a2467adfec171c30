#include "procedures/status_echo.h"

#include "report/report.h"

namespace velkor {

void StatusEcho::Feed(std::uint8_t status) {
    ++since_shown_;
    if (status == last_shown_ && since_shown_ < kShowEvery) {
        return;
    }
    last_shown_ = status;
    since_shown_ = 0;
    if (status != 0) {  // a zero byte formats to an empty text
        const char character = static_cast<char>(status);
        report_.AppendForeign(std::string_view(&character, 1));
    }
}

}  // namespace velkor
