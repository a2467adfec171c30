// Time-outs and pauses of the MCU queries, shared by both dialects, in milliseconds.
#pragma once

#include <cstdint>

namespace velkor {

// Pause between sending a query and waiting for its acknowledgement.
inline constexpr std::uint32_t kQuerySettleMs = 10;
// Idle time-outs of the reply waits.
inline constexpr std::uint32_t kQueryAckTimeoutMs = 2000;
inline constexpr std::uint32_t kVersionReplyTimeoutMs = 1000;
inline constexpr std::uint32_t kChecksumReplyTimeoutMs = 4000;
// The information text has no framing: it ends when the line stays quiet.
inline constexpr std::uint32_t kInformationTotalMs = 2000;
inline constexpr std::uint32_t kInformationIdleMs = 100;

}  // namespace velkor
