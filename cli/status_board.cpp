#include "cli/status_board.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace velkor {
namespace {

// A line longer than the terminal wraps, and the board would no longer know how far up its
// first line is.
std::size_t TerminalWidth(std::FILE* out) {
    winsize size{};
    if (::ioctl(fileno(out), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        return size.ws_col;
    }
    return 80;
}

}  // namespace

StatusBoard::StatusBoard(std::FILE* out, std::vector<std::string> ports)
    : out_(out), ports_(std::move(ports)), stages_(ports_.size(), "waiting") {
    for (const auto& port : ports_) {
        port_width_ = std::max(port_width_, port.size());
    }
}

void StatusBoard::Start() {
    std::lock_guard lock(mutex_);
    started_ = true;
    Redraw();
}

void StatusBoard::Show(std::size_t row, std::string_view stage) {
    std::lock_guard lock(mutex_);
    if (row >= stages_.size() || stages_[row] == stage) {
        return;
    }
    stages_[row] = stage;
    if (started_) {
        Redraw();
    }
}

void StatusBoard::Redraw() {
    if (drawn_) {
        std::fprintf(out_, "\033[%zuA", ports_.size());
    }
    const std::size_t width = TerminalWidth(out_) - 1;
    for (std::size_t row = 0; row < ports_.size(); ++row) {
        std::string line = ports_[row];
        line.append(port_width_ - ports_[row].size() + 2, ' ');
        line += stages_[row];
        if (line.size() > width) {
            line.resize(width);
        }
        std::fprintf(out_, "\r\033[K%s\n", line.c_str());
    }
    std::fflush(out_);
    drawn_ = true;
}

}  // namespace velkor
