#include "terminal/progress_line.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "terminal/transfer_figures.h"

namespace velkor {
namespace {

constexpr std::size_t kBarWidth = 40;
constexpr std::size_t kNarrowestBar = 10;
constexpr std::size_t kUnknownColumns = 80;

int StreamPercent(const StreamProgress& progress) {
    if (progress.bytes_total == 0) {
        return 100;
    }
    return static_cast<int>(std::min(progress.bytes_done, progress.bytes_total) * 100 /
                            progress.bytes_total);
}

// The bar filled `done` of `total`, the percent, and as many of `figures` as fit.
std::string BarLine(std::uint64_t done, std::uint64_t total, int percent,
                    std::vector<std::string> figures, std::size_t columns) {
    const std::size_t limit = (columns > 1 ? columns : kUnknownColumns) - 1;
    char percent_text[16];
    std::snprintf(percent_text, sizeof percent_text, " %3d%%", percent);
    for (;;) {
        std::string tail = percent_text;
        for (const std::string& figure : figures) {
            tail += "  ";
            tail += figure;
        }
        const std::size_t room = limit > tail.size() + 2 ? limit - tail.size() - 2 : 0;
        if (room >= kNarrowestBar || figures.empty()) {
            const std::size_t width = std::min(room, kBarWidth);
            const std::size_t filled =
                total == 0 ? width
                           : static_cast<std::size_t>(width * std::min(done, total) / total);
            std::string line = "[";
            line.append(filled, '#');
            line.append(width - filled, '.');
            line += ']';
            line += tail;
            if (line.size() > limit) {
                line.resize(limit);
            }
            return line;
        }
        figures.pop_back();
    }
}

std::string BytesFigure(const StreamProgress& progress) {
    return GroupedCount(progress.bytes_done) + "/" + GroupedCount(progress.bytes_total) + " B";
}

}  // namespace

std::string PlainProgressLine(int percent, std::size_t columns) {
    percent = std::clamp(percent, 0, 100);
    return BarLine(static_cast<std::uint64_t>(percent), 100, percent, {}, columns);
}

std::string StreamProgressLine(const StreamProgress& progress, std::uint64_t elapsed_ms,
                               std::size_t columns) {
    std::vector<std::string> figures = {BytesFigure(progress), SecondsText(elapsed_ms)};
    const std::uint64_t done = progress.bytes_done;
    if (done > 0 && elapsed_ms > 0) {
        figures.push_back(RateText(done, elapsed_ms));
        if (done < progress.bytes_total) {
            const std::uint64_t left_ms = (progress.bytes_total - done) * elapsed_ms / done;
            figures.push_back(WholeSecondsText(left_ms) + " left");
        }
    }
    return BarLine(done, progress.bytes_total, StreamPercent(progress), std::move(figures),
                   columns);
}

std::string StreamLogLine(const StreamProgress& progress, std::uint64_t elapsed_ms) {
    std::string line = "Progress: " + std::to_string(StreamPercent(progress)) + "%  " +
                       BytesFigure(progress) + "  " + SecondsText(elapsed_ms);
    if (progress.bytes_done > 0 && elapsed_ms > 0) {
        line += "  ";
        line += RateText(progress.bytes_done, elapsed_ms);
    }
    return line;
}

std::uint64_t StreamClock::Elapsed() {
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
        started_ = now;
    }
    return static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now - *started_).count());
}

std::string StreamLogLines::Advance(const StreamProgress& progress, std::uint64_t elapsed_ms) {
    const std::size_t tenths =
        progress.bytes_total == 0
            ? 10
            : std::min(progress.bytes_done, progress.bytes_total) * 10 / progress.bytes_total;
    if (tenths <= tenths_shown_) {
        return {};
    }
    tenths_shown_ = tenths;
    return StreamLogLine(progress, elapsed_ms) + "\n";
}

}  // namespace velkor
