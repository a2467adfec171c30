// Builders of well-formed firmware file records, so tests state addresses and data rather
// than hand-computed checksums.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace velkor::testing {

inline std::string HexByte(unsigned value) {
    char text[3];
    std::snprintf(text, sizeof text, "%02X", value & 0xFF);
    return text;
}

// One Intel HEX record without its line end.
inline std::string HexRecord(unsigned type, unsigned offset,
                             const std::vector<std::uint8_t>& data) {
    unsigned sum = static_cast<unsigned>(data.size()) + (offset >> 8) + offset + type;
    std::string line = ":";
    for (const unsigned field : {static_cast<unsigned>(data.size()), offset >> 8, offset, type}) {
        line += HexByte(field);
    }
    for (auto byte : data) {
        line += HexByte(byte);
        sum += byte;
    }
    return line + HexByte(0x100 - (sum & 0xFF));
}

inline std::string HexData(unsigned offset, const std::vector<std::uint8_t>& data) {
    return HexRecord(0x00, offset, data);
}

inline std::string HexBase(unsigned type, unsigned value) {
    return HexRecord(type, 0,
                     {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

// One Motorola S-record without its line end; the address width follows the type.
inline std::string SRecord(char type, std::uint32_t address,
                           const std::vector<std::uint8_t>& data) {
    int address_bytes = 2;
    if (type == '2' || type == '6' || type == '8') {
        address_bytes = 3;
    } else if (type == '3' || type == '7') {
        address_bytes = 4;
    }
    const unsigned count = static_cast<unsigned>(address_bytes + data.size() + 1);
    unsigned sum = count;
    std::string line = "S";
    line += type;
    line += HexByte(count);
    for (int i = address_bytes - 1; i >= 0; --i) {
        const unsigned byte = (address >> (8 * i)) & 0xFF;
        line += HexByte(byte);
        sum += byte;
    }
    for (auto byte : data) {
        line += HexByte(byte);
        sum += byte;
    }
    return line + HexByte(~sum & 0xFF);
}

}  // namespace velkor::testing
