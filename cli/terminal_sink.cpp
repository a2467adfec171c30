#include "cli/terminal_sink.h"

#include <unistd.h>

#include <algorithm>
#include <string>

#include "platform/text.h"

namespace velkor {

TerminalSink::TerminalSink(std::FILE* out) : out_(out), draw_progress_(::isatty(fileno(out))) {}

TerminalSink::~TerminalSink() {
    std::lock_guard lock(mutex_);
    if (bar_shown_) {
        std::fputc('\n', out_);
    }
}

void TerminalSink::AppendText(std::string_view text) {
    std::lock_guard lock(mutex_);
    ClearBar();
    const std::string plain = ToPlainLineEnds(text);
    std::fwrite(plain.data(), 1, plain.size(), out_);
    std::fflush(out_);
}

void TerminalSink::ResetProgress(int maximum) {
    std::lock_guard lock(mutex_);
    maximum_ = std::max(maximum, 1);
    position_ = 0;
    DrawBar();
}

void TerminalSink::SetProgress(int position) {
    std::lock_guard lock(mutex_);
    position_ = std::clamp(position, 0, maximum_);
    DrawBar();
}

void TerminalSink::DrawBar() {
    if (!draw_progress_) {
        return;
    }
    constexpr int kWidth = 40;
    const int filled = position_ * kWidth / maximum_;
    const std::string bar = std::string(static_cast<std::size_t>(filled), '#') +
                            std::string(static_cast<std::size_t>(kWidth - filled), '.');
    std::fprintf(out_, "\r[%s] %3d%%", bar.c_str(), position_ * 100 / maximum_);
    std::fflush(out_);
    bar_shown_ = true;
}

void TerminalSink::ClearBar() {
    if (bar_shown_) {
        std::fputs("\r\033[K", out_);
        bar_shown_ = false;
    }
}

}  // namespace velkor
