// Time-outs and pauses of programming and the configuration write, in milliseconds.
#pragma once

#include <cstdint>

namespace velkor {

// Idle time-out of the acknowledgement of the programming entry command.
inline constexpr std::uint32_t kEntryAckTimeoutMs = 1000;
// Without that acknowledgement the MCU may still be starting its boot loader, or already be
// in it from an earlier run: give it time, then send the records anyway.
inline constexpr std::uint32_t kNoEntryAckPauseMs = 2000;
// Longest silence while a record's status is awaited.
inline constexpr std::uint32_t kStatusTimeoutMs = 10000;

// Pauses around the configuration write, and the idle time-out of its acknowledgement.
inline constexpr std::uint32_t kConfigurationSettleMs = 100;
inline constexpr std::uint32_t kConfigurationAckTimeoutMs = 1000;

}  // namespace velkor
