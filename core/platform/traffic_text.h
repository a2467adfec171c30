// Bytes on the line as readable text: hexadecimal, then the printable characters. The
// simulator's -v and velkor-flash --trace show the wire alike.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velkor {

// For example "24 52 0D 0A".
std::string HexText(std::span<const std::uint8_t> bytes);

// For example "host -> MCU: 24 52 0D 0A |$R..|".
std::string TrafficText(std::string_view direction, std::span<const std::uint8_t> bytes);

}  // namespace velkor
