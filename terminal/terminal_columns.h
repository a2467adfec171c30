// How many columns the text velkor-flash prints for a reader (its help) may take.
#pragma once

#include <cstddef>

namespace velkor {

// COLUMNS when set to a number, else the width of the terminal on standard output or, when
// that is piped (into a pager, say), on standard error; 80 when neither is a terminal, so that
// help2man and files get the same text everywhere.
std::size_t TerminalColumns();

}  // namespace velkor
