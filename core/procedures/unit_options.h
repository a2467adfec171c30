// The unit options the MCU keeps: one list index per option, as the option panel shows them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace velkor {

// Positions in UnitOptions, in the order the option panel and the MCU use.
enum UnitOption : std::size_t {
    kOptionTft = 0,
    kOptionDvd = 1,
    kOptionTv = 2,
    kOptionAudio = 3,
    kOptionRadio = 4,
    kOptionHbrake = 5,
    kOptionRds = 6,
};

inline constexpr std::size_t kUnitOptionCount = 7;

using UnitOptions = std::array<std::uint8_t, kUnitOptionCount>;

}  // namespace velkor
