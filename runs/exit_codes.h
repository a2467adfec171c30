// Exit statuses of velkor-flash beyond those a command defines for its own results.
#pragma once

namespace velkor {

inline constexpr int kExitOutputFailed = 4;
// write and config: the run succeeded, but its --record line could not be written (or the
// record file could not be opened, and nothing was done).
inline constexpr int kExitRecordFailed = 7;
inline constexpr int kExitUsage = 64;

}  // namespace velkor
