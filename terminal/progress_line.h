// The progress of a run as velkor-flash shows it: on a terminal a bar redrawn in place, with
// the figures of the programming stream when there is one; in a log that is no terminal a
// line each time the stream passes another tenth of its bytes.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "report/report.h"

namespace velkor {

// The bar of a progress without figures, "[#####.....]  47%", at most columns - 1 wide (a line
// that wraps could not be redrawn in place).
std::string PlainProgressLine(int percent, std::size_t columns);

// The bar of the stream `elapsed_ms` after it began, with what is known so far:
// "[#####.....]  47%  61,440/130,560 B  16.2 s  3.8 KB/s  18 s left". At most columns - 1
// wide: the bar narrows first, then the figures go from the last.
std::string StreamProgressLine(const StreamProgress& progress, std::uint64_t elapsed_ms,
                               std::size_t columns);

// "Progress: 10%  13,312/131,072 B  3.5 s  3.8 KB/s", without its line end.
std::string StreamLogLine(const StreamProgress& progress, std::uint64_t elapsed_ms);

// The time since the stream began: from its first report on (the one before its first record).
class StreamClock {
  public:
    // A new progress: the next report of a stream starts the clock.
    void Reset() { started_.reset(); }
    // Milliseconds since the stream began, starting it when it has not.
    std::uint64_t Elapsed();

  private:
    std::optional<std::chrono::steady_clock::time_point> started_;
};

// The lines of a stream in a log that is no terminal: one each tenth of its bytes, the last at
// its end.
class StreamLogLines {
  public:
    void Reset() { tenths_shown_ = 0; }
    // The line `progress`, `elapsed_ms` after the stream began, calls for, with its line end;
    // empty when it calls for none.
    std::string Advance(const StreamProgress& progress, std::uint64_t elapsed_ms);

  private:
    std::size_t tenths_shown_ = 0;
};

// Whether every byte of the stream has been answered.
inline bool StreamDone(const StreamProgress& progress) {
    return progress.bytes_done >= progress.bytes_total;
}

}  // namespace velkor
