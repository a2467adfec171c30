// How wide and high the terminal is that velkor-flash prints to: for a reader's text (its
// help), and for what it redraws (progress line, boards, the station's screen).
#pragma once

#include <cstddef>
#include <cstdio>

namespace velkor {

// COLUMNS when set to a number, else the width of the terminal on standard output or, when
// that is piped (into a pager, say), on standard error; 80 when neither is a terminal, so that
// help2man and files get the same text everywhere.
std::size_t TerminalColumns();

struct TerminalWindow {
    std::size_t columns = 0;  // 0: unknown
    std::size_t rows = 0;     // 0: unknown
};

// The window of the terminal `out` shows, asked at each redraw since it may have been resized;
// zeros when `out` is no terminal.
TerminalWindow TerminalWindowOf(std::FILE* out);

}  // namespace velkor
