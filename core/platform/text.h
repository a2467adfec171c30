// Conversion of the MCU's 8-bit text for display.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// Each byte becomes the code point of the same value, so any reply yields valid UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// The text with each "\r\n" turned into "\n", for terminals and files.
std::string ToPlainLineEnds(std::string_view text);

}  // namespace velkor
