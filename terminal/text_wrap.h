// Breaks text into lines of a given width at its blanks, for help a reader sees on a terminal.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velkor {

// `head`, then `text` from column `column` on (on the next line when `head` reaches that
// column), broken at blanks into lines of at most `width` columns; the lines after the first
// begin at `column` too. A "\n" in `text` begins a new line; a word longer than a line keeps
// a line of its own. Every line, the last included, ends with "\n".
std::string HangingLines(std::string_view head, std::string_view text, std::size_t column,
                         std::size_t width);

}  // namespace velkor
