// The bytes of the framed dialect of J5 units.
//
// Command frame: FF, mode, command code, payload length n, n payload bytes, check byte (code
// XOR n XOR every payload byte). Acknowledgement: FF 55 code 01. Reply frame: FF, AA or BB,
// reply code, n, n payload bytes, check byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace velkor {

inline constexpr std::uint32_t kFrameBaudRate = 38400;

inline constexpr std::uint8_t kFrameStart = 0xFF;
// Mode of a command the host follows with an acknowledgement wait, and of one it does not.
inline constexpr std::uint8_t kFrameModeAcked = 0xAA;
inline constexpr std::uint8_t kFrameModeUnacked = 0xBB;
inline constexpr std::size_t kFrameOverhead = 5;
inline constexpr std::size_t kFrameMaxPayload = 255;

inline constexpr std::uint8_t kFrameAckMarker = 0x55;
inline constexpr std::uint8_t kFrameAckEnd = 0x01;

inline constexpr std::uint8_t kFrameVersionReply = 0xA8;
inline constexpr std::uint8_t kFrameChecksumReply = 0x96;

struct FrameCommand {
    std::uint8_t code;
    std::span<const std::uint8_t> payload;
};

namespace frame_payload {
inline constexpr std::uint8_t kQueryVersion[] = {0x5C};
inline constexpr std::uint8_t kQueryChecksum[] = {'C', 'S'};
inline constexpr std::uint8_t kQueryInformation[] = {0x01, 0x00, 0x00};
inline constexpr std::uint8_t kPreludeFirst[] = {0x00, 0x00, 0x00, 0x00};
inline constexpr std::uint8_t kPreludeSecond[] = {0x00, 0x00};
inline constexpr std::uint8_t kEnterMainProgramming[] = {0xAA, 0xC0, 0x02};
inline constexpr std::uint8_t kEnterSlaveProgramming[] = {0xAA, 0xC0, 0x03};
}  // namespace frame_payload

inline constexpr FrameCommand kFrameQueryVersion{0x50, frame_payload::kQueryVersion};
inline constexpr FrameCommand kFrameQueryChecksum{0x7B, frame_payload::kQueryChecksum};
inline constexpr FrameCommand kFrameQueryInformation{0x7B, frame_payload::kQueryInformation};
inline constexpr FrameCommand kFrameEnterMainProgramming{0x7A,
                                                         frame_payload::kEnterMainProgramming};
inline constexpr FrameCommand kFrameEnterSlaveProgramming{0x7A,
                                                          frame_payload::kEnterSlaveProgramming};
// Command code of the unit option frame; its payload depends on the MCU family.
inline constexpr std::uint8_t kFrameConfigurationCode = 0xB0;

// Sent unacknowledged before the information query, each followed by its pause.
struct FramePreludeStep {
    FrameCommand command;
    std::uint32_t pause_ms;
};
inline constexpr FramePreludeStep kFramePrelude[] = {
    {{0x25, frame_payload::kPreludeFirst}, 100},
    {{0x09, frame_payload::kPreludeSecond}, 100},
};

}  // namespace velkor
