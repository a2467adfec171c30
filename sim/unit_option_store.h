// The unit options as the MCU keeps them: the option command sets them, and the MCU reports
// them as code characters at fixed positions of its version text. The MCU's own description,
// kept apart from the tool's tables so that each checks the other.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "procedures/unit_options.h"
#include "settings/unit_types.h"

namespace velkor::sim {

// The options one command sets, by UnitOption, as the option panel numbers them; empty where
// the command carries nothing.
using OptionValues = std::array<std::optional<std::uint8_t>, kUnitOptionCount>;

// The three letters of the ASCII option command (TV, hand brake, RDS); empty when one of them
// is no letter of the command.
std::optional<OptionValues> ReadOptionLetters(std::span<const std::uint8_t> letters);

// The payload of the option frame of `family`; empty when it is not the family's layout.
std::optional<OptionValues> ReadOptionFrame(McuType family, std::span<const std::uint8_t> payload);

// Writes the codes of the options set into `version_text` at the positions a unit of `model`
// and `family` reports them, padding a short text with blanks. Options the unit does not
// report (RDS always) are taken but not shown.
void StoreOptions(AppType model, McuType family, const OptionValues& values,
                  std::string& version_text);

}  // namespace velkor::sim
