#include "station/station_screen.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>

#include "platform/text.h"
#include "terminal/terminal_columns.h"

namespace velkor {
namespace {

// What to draw for: the terminal's window, 80 by 24 where it does not say.
TerminalWindow WindowFor(std::FILE* out) {
    TerminalWindow window = TerminalWindowOf(out);
    if (window.columns == 0) {
        window.columns = 80;
    }
    if (window.rows == 0) {
        window.rows = 24;
    }
    return window;
}

std::string ClockTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

// `text` in at most `width` columns (bytes: names and words are ASCII, unit texts escaped),
// cut at the start, where names that share a prefix differ least.
std::string FitFromEnd(const std::string& text, std::size_t width) {
    if (text.size() <= width) {
        return text + std::string(width - text.size(), ' ');
    }
    if (width <= 3) {
        return text.substr(0, width);
    }
    return "..." + text.substr(text.size() - (width - 3));
}

}  // namespace

StationScreen::StationScreen(std::FILE* out) : out_(out), terminal_(::isatty(fileno(out))) {}

StationScreen::~StationScreen() = default;

std::size_t StationScreen::AddSlot(const std::string& name) {
    std::lock_guard lock(mutex_);
    Row row;
    row.name = EscapeControls(name);
    rows_.push_back(std::move(row));
    Line(rows_.back(), "slot added");
    Redraw();
    return rows_.size() - 1;
}

void StationScreen::RemoveSlot(std::size_t slot) {
    std::lock_guard lock(mutex_);
    rows_[slot].gone = true;
    Line(rows_[slot], "slot removed");
    Redraw();
}

void StationScreen::SetState(std::size_t slot, SlotState state, std::string_view version) {
    std::lock_guard lock(mutex_);
    Row& row = rows_[slot];
    if (row.state == state && version.empty()) {
        return;
    }
    row.state = state;
    row.percent = -1;
    if (!version.empty()) {
        row.version = Latin1ToUtf8(version);
    }
    if (state == SlotState::kUpdating) {
        Line(row, "updating unit " + row.version);
    } else if (state == SlotState::kWaiting) {
        row.version.clear();
        Line(row, "waiting for a unit");
    }
    Redraw();
}

void StationScreen::SetProgress(std::size_t slot, int percent) {
    std::lock_guard lock(mutex_);
    Row& row = rows_[slot];
    if (row.percent == percent) {
        return;
    }
    row.percent = percent;
    Redraw();  // no line of its own elsewhere: the log file has the progress
}

void StationScreen::SetResult(std::size_t slot, const std::string& result) {
    std::lock_guard lock(mutex_);
    Row& row = rows_[slot];
    row.result = result;
    row.result_time = ClockTime();
    Line(row, row.result);
    Redraw();
}

void StationScreen::Say(std::size_t slot, const std::string& event) {
    std::lock_guard lock(mutex_);
    Line(rows_[slot], event);
}

void StationScreen::Note(std::string_view text) {
    std::lock_guard lock(mutex_);
    std::string line;
    if (terminal_ && drawn_lines_ > 0) {
        // Over the board, which is drawn again below the line.
        line += "\r\033[" + std::to_string(drawn_lines_) + "A\033[J";
        drawn_lines_ = 0;
    }
    line += EscapeControls(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
    Redraw();
}

void StationScreen::SetStopping() {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    Redraw();
}

void StationScreen::SetTotals(const std::string& totals) {
    std::lock_guard lock(mutex_);
    totals_ = totals;
    Redraw();
}

void StationScreen::Line(const Row& row, std::string_view text) {
    if (terminal_) {
        return;
    }
    std::string line = row.name + ": ";
    line += EscapeControls(text);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void StationScreen::Redraw() {
    if (!terminal_) {
        return;
    }
    const TerminalWindow size = WindowFor(out_);
    const std::size_t width = size.columns - 1;  // a full line would wrap on some terminals
    std::vector<const Row*> shown;
    for (const Row& row : rows_) {
        if (!row.gone) {
            shown.push_back(&row);
        }
    }
    // The totals line and the cursor's line stay; slots that do not fit are counted.
    const std::size_t room = size.rows > 2 ? size.rows - 2 : 1;
    std::size_t hidden = 0;
    if (shown.size() > room) {
        hidden = shown.size() - (room - 1);
        shown.resize(room - 1);
    }
    std::string board;
    if (drawn_lines_ > 0) {
        board += "\r\033[" + std::to_string(drawn_lines_) + "A";
    }
    const std::size_t name_width = std::min<std::size_t>(width / 3, 32);
    for (const Row* row : shown) {
        std::string line = FitFromEnd(row->name, name_width) + "  ";
        std::string state(SlotStateWord(row->state));
        if (row->state == SlotState::kUpdating && row->percent >= 0) {
            state += " " + std::to_string(row->percent) + "%";
        }
        line += state + std::string(state.size() < 13 ? 13 - state.size() : 1, ' ');
        if (!row->result.empty()) {
            line += "last: " + row->result_time + " " + EscapeControls(row->result) + "  ";
        }
        line += EscapeControls(row->version);
        if (line.size() > width) {
            line.resize(width);
        }
        board += "\r" + line + "\033[K\n";
    }
    std::size_t lines = shown.size();
    if (hidden > 0) {
        board += "\r... and " + std::to_string(hidden) + " more slots\033[K\n";
        ++lines;
    }
    std::string totals = stopping_ ? "stopping  " + totals_ : totals_;
    if (totals.size() > width) {
        totals.resize(width);
    }
    board += "\r" + totals + "\033[K\n";
    ++lines;
    // Lines left over from a taller board.
    board += "\033[J";
    drawn_lines_ = lines;
    std::fwrite(board.data(), 1, board.size(), out_);
    std::fflush(out_);
}

}  // namespace velkor
