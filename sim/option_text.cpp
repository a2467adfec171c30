#include "sim/option_text.h"

#include <charconv>
#include <cstdint>

namespace velkor::sim {
namespace {

int HexDigitValue(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

std::optional<std::uint32_t> ParseAddress(std::string_view text) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::string> DecodeEscapes(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes += text[i];
            continue;
        }
        if (++i == text.size()) {
            return std::nullopt;
        }
        switch (text[i]) {
            case 'r':
                bytes += '\r';
                break;
            case 'n':
                bytes += '\n';
                break;
            case 't':
                bytes += '\t';
                break;
            case '0':
                bytes += '\0';
                break;
            case '\\':
                bytes += '\\';
                break;
            case 'x': {
                int value = 0;
                int digits = 0;
                while (digits < 2 && i + 1 < text.size() && HexDigitValue(text[i + 1]) >= 0) {
                    value = value * 16 + HexDigitValue(text[++i]);
                    ++digits;
                }
                if (digits == 0) {
                    return std::nullopt;
                }
                bytes += static_cast<char>(value);
                break;
            }
            default:
                return std::nullopt;
        }
    }
    return bytes;
}

std::optional<FlashRange> ParseFlashRange(std::string_view text) {
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto first = ParseAddress(text.substr(0, dash));
    const auto last = ParseAddress(text.substr(dash + 1));
    if (!first || !last || *first > *last || *last >= kFlashSize) {
        return std::nullopt;
    }
    return FlashRange{*first, *last + 1};
}

}  // namespace velkor::sim
