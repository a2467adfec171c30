#include "platform/traffic_text.h"

namespace velkor {

std::string HexText(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 3);
    for (std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0xF];
    }
    return text;
}

std::string TrafficText(std::string_view direction, std::span<const std::uint8_t> bytes) {
    std::string text(direction);
    text += ':';
    if (!bytes.empty()) {
        text += ' ';
        text += HexText(bytes);
    }
    text += " |";
    for (std::uint8_t byte : bytes) {
        text += (byte >= 0x20 && byte < 0x7F) ? static_cast<char>(byte) : '.';
    }
    text += '|';
    return text;
}

}  // namespace velkor
