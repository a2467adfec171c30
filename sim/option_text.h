// Texts of velkor-sim's command line that stand for bytes or address ranges.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/flash_memory.h"

namespace velkor::sim {

// Decodes the escapes \r \n \t \0 \\ and \xHH (one or two hexadecimal digits), so that texts
// with line ends or binary bytes can be given on a command line. Empty on a malformed escape.
std::optional<std::string> DecodeEscapes(std::string_view text);

// "FIRST-LAST": two addresses (decimal, or hexadecimal with 0x), both inclusive, as the
// checksum ranges of the MCU families are written. Empty unless FIRST <= LAST < flash size.
std::optional<FlashRange> ParseFlashRange(std::string_view text);

}  // namespace velkor::sim
