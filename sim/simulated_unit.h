// The MCU of a simulated head unit apart from its serial line: what it reports and what its
// flash holds. The queries read it; the boot loader and the option commands are to change it.
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
    FlashRange checksum_range() const { return checksum_range_; }

    // What the checksum query reports: the byte sum of the main flash over the checksum range.
    std::uint32_t Checksum() const { return main_flash_.Sum(checksum_range_); }

  private:
    std::string version_text_;
    std::string information_text_;
    FlashMemory main_flash_;
    FlashRange checksum_range_;
};

}  // namespace velkor::sim
