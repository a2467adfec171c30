#include "terminal/status_board.h"

#include <algorithm>
#include <array>

#include "platform/text.h"
#include "terminal/terminal_columns.h"

namespace velkor {
namespace {

constexpr std::size_t kUnknownColumns = 80;
// A name is cut to no fewer columns than this, which keep the serial number and the tail of a
// /dev/serial/by-id/ name: below it a long state is cut instead.
constexpr std::size_t kShortestName = 20;
// The room kept for the state beside names cut short: "programming 100%". The names stay put
// as the states change; a longer state (a failure's reason) shortens only its own line's name.
constexpr std::size_t kStateColumn = 16;
constexpr std::string_view kEllipsis = "\u2026";

bool Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Columns of UTF-8 text, a column a character.
std::size_t Width(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !Continuation(c); }));
}

// The first `columns` characters of `text`.
std::string Head(std::string_view text, std::size_t columns) {
    std::size_t end = 0;
    for (std::size_t seen = 0; end < text.size(); ++end) {
        if (!Continuation(text[end]) && seen++ == columns) {
            break;
        }
    }
    return std::string(text.substr(0, end));
}

// `name` in `columns`: cut at its start, where names of one kind are alike.
std::string Shortened(std::string_view name, std::size_t columns) {
    const std::size_t width = Width(name);
    if (width <= columns) {
        return std::string(name);
    }
    if (columns == 0) {
        return {};
    }
    std::size_t start = name.size();
    for (std::size_t kept = 0; kept < columns - 1;) {
        --start;
        if (!Continuation(name[start])) {
            ++kept;
        }
    }
    return std::string(kEllipsis) + std::string(name.substr(start));
}

// The last line of a board with `hidden` ports left out: how many, and in which states.
std::string MoreLine(const std::vector<std::string>& stages, std::size_t first_hidden) {
    std::array<std::size_t, 5> counts{};
    constexpr std::array<std::string_view, 5> kStates = {"updating", "waiting", "done", "failed",
                                                         "interrupted"};
    for (std::size_t row = first_hidden; row < stages.size(); ++row) {
        const std::string_view stage = stages[row];
        std::size_t state = 0;  // any stage of the run itself
        for (std::size_t i = 1; i < kStates.size(); ++i) {
            if (stage.starts_with(kStates[i])) {
                state = i;
            }
        }
        ++counts[state];
    }
    std::string line = "... and " + std::to_string(stages.size() - first_hidden) + " more (";
    bool first = true;
    for (std::size_t i = 0; i < kStates.size(); ++i) {
        if (counts[i] == 0) {
            continue;
        }
        if (!first) {
            line += ", ";
        }
        first = false;
        line += std::to_string(counts[i]);
        line += ' ';
        line += kStates[i];
    }
    line += ')';
    return line;
}

}  // namespace

std::vector<std::string> BoardLines(const std::vector<std::string>& ports,
                                    const std::vector<std::string>& stages, std::size_t columns,
                                    std::size_t rows) {
    const std::size_t width = (columns > 1 ? columns : kUnknownColumns) - 1;
    std::size_t shown = ports.size();
    if (const std::size_t fit = std::max<std::size_t>(rows, 2) - 1; rows != 0 && shown > fit) {
        shown = fit - 1;  // and the line that counts the rest
    }
    std::size_t longest_name = 0;
    for (std::size_t row = 0; row < shown; ++row) {
        longest_name = std::max(longest_name, Width(ports[row]));
    }
    const std::size_t name_room = width > kStateColumn + 2 ? width - kStateColumn - 2 : 0;
    const std::size_t name_column = std::min(longest_name, std::max(name_room, kShortestName));

    std::vector<std::string> lines;
    for (std::size_t row = 0; row < shown; ++row) {
        const std::size_t state = Width(stages[row]);
        std::size_t room = name_column;
        if (room + 2 + state > width) {
            room = std::clamp(width > state + 2 ? width - state - 2 : 0,
                              std::min(kShortestName, name_column), name_column);
        }
        std::string line = Shortened(ports[row], room);
        line.append(room - Width(line) + 2, ' ');
        line += stages[row];
        lines.push_back(Head(line, width));
    }
    if (shown < ports.size()) {
        lines.push_back(Head(MoreLine(stages, shown), width));
    }
    return lines;
}

StatusBoard::StatusBoard(std::FILE* out, const std::vector<std::string>& ports)
    : out_(out), stages_(ports.size(), "waiting") {
    // A device's name may come from a USB adapter's own description: it must not steer the
    // terminal.
    for (const std::string& port : ports) {
        ports_.push_back(EscapeControls(port));
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
    const TerminalWindow window = TerminalWindowOf(out_);
    const std::vector<std::string> lines = BoardLines(ports_, stages_, window.columns, window.rows);
    std::string out;
    if (drawn_lines_ > 0) {
        out += "\033[" + std::to_string(drawn_lines_) + "A";
    }
    for (const std::string& line : lines) {
        out += '\r';
        out += line;
        out += "\033[K\n";
    }
    out += "\033[J";  // what a board of more lines left below
    std::fwrite(out.data(), 1, out.size(), out_);
    std::fflush(out_);
    drawn_lines_ = lines.size();
}

}  // namespace velkor
