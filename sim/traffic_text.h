// Bytes on the line as one readable log line: hexadecimal, then the printable characters.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace velkor::sim {

// For example "host -> MCU: 24 52 0D 0A |$R..|".
std::string TrafficText(std::string_view direction, std::span<const std::uint8_t> bytes);

}  // namespace velkor::sim
