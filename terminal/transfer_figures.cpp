#include "terminal/transfer_figures.h"

#include <cstdio>

namespace velkor {

std::string GroupedCount(std::uint64_t count) {
    std::string digits = std::to_string(count);
    for (std::size_t at = digits.size(); at > 3; at -= 3) {
        digits.insert(at - 3, 1, ',');
    }
    return digits;
}

std::string SecondsText(std::uint64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(ms) / 1000.0);
    return text;
}

std::string RateText(std::uint64_t bytes, std::uint64_t ms) {
    if (ms == 0) {
        return "-";
    }
    char text[32];
    // bytes per millisecond is KB per second
    std::snprintf(text, sizeof text, "%.1f KB/s",
                  static_cast<double>(bytes) / static_cast<double>(ms));
    return text;
}

std::string WholeSecondsText(std::uint64_t ms) {
    return std::to_string((ms + 999) / 1000) + " s";
}

}  // namespace velkor
