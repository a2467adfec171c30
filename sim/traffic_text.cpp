#include "sim/traffic_text.h"

namespace velkor::sim {

std::string TrafficText(std::string_view direction, std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(direction);
    text += ':';
    std::string printable;
    for (std::uint8_t byte : bytes) {
        text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
        printable += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
    }
    return text + " |" + printable + "|";
}

}  // namespace velkor::sim
