#include "terminal/terminal_sink.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "platform/text.h"
#include "terminal/terminal_columns.h"

namespace velkor {
namespace {

constexpr std::string_view kEraseToEnd = "\033[K";

}  // namespace

TerminalSink::TerminalSink(std::FILE* out) : out_(out), terminal_(::isatty(fileno(out)) == 1) {}

TerminalSink::~TerminalSink() {
    std::lock_guard lock(mutex_);
    if (!showing_) {
        return;
    }
    if (!terminal_) {
        Write(held_);
    } else if (held_.empty()) {
        Write("\n");  // the bar stays
    } else {
        Write("\r" + std::string(kEraseToEnd) + held_);  // the unfinished line, as it came
    }
}

void TerminalSink::AppendText(std::string_view text) {
    Show(text, false);
}

void TerminalSink::AppendMarked(std::string_view text, LogKind kind) {
    if (kind != LogKind::kDetail) {
        Show(text, true);
    }
}

void TerminalSink::ResetProgress(int maximum) {
    std::lock_guard lock(mutex_);
    maximum_ = std::max(maximum, 1);
    position_ = 0;
    stream_.reset();
    stream_clock_.Reset();
    log_lines_.Reset();
    if (terminal_) {
        ShowBar();
    } else if (showing_) {
        // A stream that never ended: its unfinished line goes out as it is.
        showing_ = false;
        Write(held_);
        at_line_start_ = held_.empty() && at_line_start_;
        held_.clear();
    }
}

void TerminalSink::SetProgress(int position) {
    std::lock_guard lock(mutex_);
    position_ = std::clamp(position, 0, maximum_);
    if (terminal_) {
        ShowBar();
    }
}

void TerminalSink::AdvanceStream(const StreamProgress& progress) {
    std::lock_guard lock(mutex_);
    stream_ = progress;
    if (terminal_) {
        ShowBar();
        return;
    }
    std::string out;
    if (std::string line = log_lines_.Advance(progress, stream_clock_.Elapsed()); !line.empty()) {
        (at_line_start_ ? out : owed_) += line;
    }
    if (!StreamDone(progress)) {
        showing_ = true;
    } else if (showing_) {
        showing_ = false;
        if (!held_.empty()) {
            at_line_start_ = false;
            out += std::exchange(held_, {});
        }
    }
    Write(out);
}

void TerminalSink::Show(std::string_view text, bool ends_progress) {
    std::string plain = ToPlainLineEnds(text);
    std::lock_guard lock(mutex_);
    std::string out;
    if (showing_ && (ends_progress || (terminal_ && Complete()))) {
        showing_ = false;
        if (terminal_) {
            out = "\r";
            out += kEraseToEnd;  // the bar gives way to the text
        }
        plain.insert(0, std::exchange(held_, {}));
    }
    if (!showing_) {
        if (!plain.empty()) {
            const auto end = plain.rfind('\n');
            line_out_ = end == std::string::npos ? line_out_ + plain : plain.substr(end + 1);
            at_line_start_ = line_out_.empty();
        }
        out += plain;
        if (at_line_start_) {
            out += std::exchange(owed_, {});
        }
        Write(out);
        return;
    }
    held_ += plain;
    const auto end = held_.rfind('\n');
    if (end == std::string::npos) {
        return;
    }
    const std::string lines = held_.substr(0, end + 1);
    held_.erase(0, end + 1);
    at_line_start_ = true;
    line_out_.clear();
    if (!terminal_) {
        Write(lines + std::exchange(owed_, {}));
        return;
    }
    // The lines above the bar, the first in the bar's place, and the bar below them.
    out = "\r";
    for (const char c : lines) {
        if (c == '\n') {
            out += kEraseToEnd;
        }
        out += c;
    }
    drawn_ = BarLine();
    out += drawn_;
    out += kEraseToEnd;
    Write(out);
}

bool TerminalSink::Complete() const {
    return stream_ ? StreamDone(*stream_) : position_ >= maximum_;
}

void TerminalSink::ShowBar() {
    std::string line = BarLine();
    if (showing_ && line == drawn_) {
        return;
    }
    if (!showing_) {
        showing_ = true;
        // The bar takes the cursor's line; what that line held comes back when it ends.
        held_ = std::exchange(line_out_, {});
        at_line_start_ = true;
    }
    drawn_ = std::move(line);
    Write("\r" + drawn_ + std::string(kEraseToEnd));
}

std::string TerminalSink::BarLine() {
    // Asked at each redraw: the window may have been resized.
    const std::size_t columns = TerminalWindowOf(out_).columns;
    if (stream_) {
        return StreamProgressLine(*stream_, stream_clock_.Elapsed(), columns);
    }
    return PlainProgressLine(position_ * 100 / maximum_, columns);
}

void TerminalSink::Write(std::string_view bytes) {
    if (bytes.empty()) {
        return;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), out_);
    std::fflush(out_);
}

}  // namespace velkor
