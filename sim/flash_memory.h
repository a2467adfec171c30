// The flash of a simulated MCU: its content is what the checksum query sums, and what the
// boot loader will write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/firmware_image.h"

namespace velkor::sim {

// The MCU address space a firmware image covers.
inline constexpr std::size_t kFlashSize = kImageSize;
// The value of erased flash cells.
inline constexpr std::uint8_t kErasedFlashByte = 0xFF;

// Addresses [begin, end).
struct FlashRange {
    std::uint32_t begin = 0;
    std::uint32_t end = kFlashSize;

    bool operator==(const FlashRange&) const = default;
};

class FlashMemory {
  public:
    explicit FlashMemory(std::size_t size = kFlashSize, std::uint8_t fill = kErasedFlashByte)
        : bytes_(size, fill) {}

    void Fill(std::uint8_t value);
    // Writes `data` from `address` on. False, with nothing written, when it would run past the
    // end.
    bool Write(std::uint32_t address, std::span<const std::uint8_t> data);
    // The 32-bit byte sum over `range`; the part of the range outside the flash counts nothing.
    std::uint32_t Sum(FlashRange range) const;

    std::span<const std::uint8_t> bytes() const { return bytes_; }
    std::size_t size() const { return bytes_.size(); }

  private:
    std::vector<std::uint8_t> bytes_;
};

}  // namespace velkor::sim
