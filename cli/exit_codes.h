// Exit statuses of velkor-flash beyond those a command defines for its own results.
#pragma once

namespace velkor {

inline constexpr int kExitOutputFailed = 4;
inline constexpr int kExitUsage = 64;

}  // namespace velkor
