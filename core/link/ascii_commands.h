// The bytes of the ASCII dialect of R3360 units: commands start with '$' and end with CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace velkor {

inline constexpr std::uint32_t kAsciiBaudRate = 19200;

inline constexpr std::string_view kAsciiQueryVersion = "$R\r\n";
inline constexpr std::string_view kAsciiQueryChecksum = "$eCS\r\n";
inline constexpr std::string_view kAsciiQueryInformation = "$e\r\n";
inline constexpr std::string_view kAsciiEnterMainProgramming = "$wIAP\r\n";
inline constexpr std::string_view kAsciiEnterSlaveProgramming = "$wIAS\r\n";
// Main MCU of a unit whose major version is 4 or later (NEC family).
inline constexpr std::string_view kAsciiEnterMainProgrammingV4 = "$wPAI\r\n";

// Sent before the information query, each followed by its pause; no reply is read.
struct AsciiPreludeStep {
    std::string_view command;
    std::uint32_t pause_ms;
};
inline constexpr AsciiPreludeStep kAsciiPrelude[] = {
    {"$rp-\r\n", 50},
    {"$rf-\r\n", 50},
    {"$c\r\n", 100},
};

// The MCU's acknowledgement: at sign, CR, LF.
inline constexpr std::array<std::uint8_t, 3> kAsciiAck = {0x40, '\r', '\n'};

// Replies: '$' 'V' text CR x, and 'C' 'S' ':' value CR x.
inline constexpr std::uint8_t kAsciiReplyStart = '$';
inline constexpr std::uint8_t kAsciiVersionTag = 'V';
inline constexpr std::uint8_t kAsciiChecksumTag[] = {'C', 'S', ':'};
inline constexpr std::uint8_t kAsciiReplyEnd = '\r';

}  // namespace velkor
