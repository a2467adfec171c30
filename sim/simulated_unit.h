// The MCUs of a simulated head unit apart from their serial line: what the main MCU reports,
// and what its flash and the slave MCU's flash hold. The queries read it; the boot loader and
// the option command change it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "sim/flash_memory.h"

namespace velkor::sim {

class SimulatedUnit {
  public:
    SimulatedUnit(std::string version_text, std::string information_text, FlashMemory main_flash,
                  FlashRange checksum_range)
        : version_text_(std::move(version_text)),
          information_text_(std::move(information_text)),
          main_flash_(std::move(main_flash)),
          checksum_range_(checksum_range) {}

    const std::string& version_text() const { return version_text_; }
    void set_version_text(std::string text) { version_text_ = std::move(text); }
    const std::string& information_text() const { return information_text_; }
    void set_information_text(std::string text) { information_text_ = std::move(text); }

    FlashMemory& main_flash() { return main_flash_; }
    const FlashMemory& main_flash() const { return main_flash_; }
    // Erased until the slave MCU is programmed.
    FlashMemory& slave_flash() { return slave_flash_; }
    const FlashMemory& slave_flash() const { return slave_flash_; }
    FlashRange checksum_range() const { return checksum_range_; }

    // What the checksum query reports: the byte sum of the main flash over the checksum range.
    std::uint32_t Checksum() const { return main_flash_.Sum(checksum_range_); }

  private:
    std::string version_text_;
    std::string information_text_;
    FlashMemory main_flash_;
    FlashMemory slave_flash_;
    FlashRange checksum_range_;
};

}  // namespace velkor::sim
