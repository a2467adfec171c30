// The image of a generated firmware file: code bytes that look random but follow from a seed,
// over the family's firmware range, with the description block on top; zeros elsewhere.
#pragma once

#include <cstdint>
#include <vector>

#include "sim/firmware_description.h"

namespace velkor::sim {

// kImageSize bytes indexed by MCU address; empty when the model or family is undetermined.
std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareIdentity& identity, std::uint32_t seed);

}  // namespace velkor::sim
