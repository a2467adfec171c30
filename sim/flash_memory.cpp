#include "sim/flash_memory.h"

#include <algorithm>
#include <numeric>

namespace velkor::sim {

void FlashMemory::Fill(std::uint8_t value) {
    std::fill(bytes_.begin(), bytes_.end(), value);
}

bool FlashMemory::Write(std::uint32_t address, std::span<const std::uint8_t> data) {
    if (address > bytes_.size() || data.size() > bytes_.size() - address) {
        return false;
    }
    std::copy(data.begin(), data.end(), bytes_.begin() + address);
    return true;
}

std::uint32_t FlashMemory::Sum(FlashRange range) const {
    const std::size_t end = std::min<std::size_t>(range.end, bytes_.size());
    const std::size_t begin = std::min<std::size_t>(range.begin, end);
    return std::accumulate(bytes_.begin() + static_cast<std::ptrdiff_t>(begin),
                           bytes_.begin() + static_cast<std::ptrdiff_t>(end), std::uint32_t{0});
}

}  // namespace velkor::sim
