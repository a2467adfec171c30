// The unit options as the MCU codes them: characters of its version text one way, command
// letters or raw frame bytes the other way.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "procedures/family_descriptor.h"
#include "procedures/unit_options.h"

namespace velkor {

// The options the version text reports at the family's positions; every other option is 0.
UnitOptions DecodeUnitOptions(const OptionPositions& positions,
                              std::span<const std::uint8_t> version_text);

inline constexpr std::size_t kAsciiOptionCommandSize = 7;

// '$' 'W', the TV, hand-brake and RDS letters, CR LF.
std::array<std::uint8_t, kAsciiOptionCommandSize> AsciiOptionCommand(std::string_view tv_letters,
                                                                     const UnitOptions& options);

// The payload of the option frame: raw option indices, the TV index remapped as the family
// needs.
std::vector<std::uint8_t> FrameOptionPayload(const OptionWriteLayout& layout,
                                             const UnitOptions& options);

}  // namespace velkor
