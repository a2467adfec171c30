// Strict hexadecimal decoding of record fields.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace velkor {

namespace detail {
constexpr std::array<std::int8_t, 256> MakeHexTable() {
    std::array<std::int8_t, 256> table{};
    for (auto& value : table) {
        value = -1;
    }
    for (int i = 0; i < 10; ++i) {
        table['0' + i] = static_cast<std::int8_t>(i);
    }
    for (int i = 0; i < 6; ++i) {
        table['a' + i] = static_cast<std::int8_t>(10 + i);
        table['A' + i] = static_cast<std::int8_t>(10 + i);
    }
    return table;
}
inline constexpr std::array<std::int8_t, 256> kHexValue = MakeHexTable();
}  // namespace detail

// Decodes `count` bytes written as digit pairs from `text` into `out`; false when a character
// is not a hexadecimal digit. `text` must hold at least 2 * count characters.
inline bool DecodeHexBytes(std::string_view text, std::size_t count, std::uint8_t* out) {
    for (std::size_t i = 0; i < count; ++i) {
        const int high = detail::kHexValue[static_cast<unsigned char>(text[2 * i])];
        const int low = detail::kHexValue[static_cast<unsigned char>(text[2 * i + 1])];
        if ((high | low) < 0) {
            return false;
        }
        out[i] = static_cast<std::uint8_t>((high << 4) | low);
    }
    return true;
}

}  // namespace velkor
