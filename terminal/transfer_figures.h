// Figures of a transfer as velkor-flash shows them: byte counts with thousands separators,
// seconds with one decimal, rates in KB/s (1 KB = 1000 bytes).
#pragma once

#include <cstdint>
#include <string>

namespace velkor {

// 130560 -> "130,560".
std::string GroupedCount(std::uint64_t count);
// 34912 ms -> "34.9 s".
std::string SecondsText(std::uint64_t ms);
// 130560 bytes in 34912 ms -> "3.7 KB/s"; "-" before a millisecond has passed.
std::string RateText(std::uint64_t bytes, std::uint64_t ms);
// 17100 ms -> "18 s": whole seconds, rounded up, for a time still to wait.
std::string WholeSecondsText(std::uint64_t ms);

}  // namespace velkor
