// Conversion of the MCU's 8-bit text for display.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// Each byte becomes the code point of the same value, so any reply yields valid UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// The text with each "\r\n" turned into "\n", for terminals and files.
std::string ToPlainLineEnds(std::string_view text);

// Text from outside the tool (UTF-8, as the log has it) made safe for a terminal or a log
// file, where a control character would act instead of being shown: a C0 control, DEL or a C1
// control (U+0080 to U+009F) becomes \r, \n or \t, else \x and its code in two lower-case
// hexadecimal digits; a byte that is no part of valid UTF-8 becomes \x and its value; a
// bidirectional or format character that would reorder or hide the text after it (U+200E,
// U+202E, U+2066, U+FEFF and their kin) becomes \u and its code in four digits; a backslash
// becomes \\, so that every escape shown is one made here. The rest, Latin-1 letters such as
// é included, stays as it is: it only prints.
std::string EscapeControls(std::string_view text);

}  // namespace velkor
