#include "sim/firmware_builder.h"

#include <random>

#include "image/firmware_image.h"
#include "sim/record_format.h"

namespace velkor::sim {

std::vector<std::uint8_t> BuildFirmwareImage(const FirmwareIdentity& identity, std::uint32_t seed) {
    const auto range = ProgrammedRange(identity.family);
    if (!range) {
        return {};
    }
    std::vector<std::uint8_t> image(kImageSize, 0);
    // mt19937 yields the same sequence on every platform, so a seed names one file.
    std::mt19937 random(seed);
    for (std::uint32_t address = range->begin; address < range->end; address += 4) {
        std::uint32_t word = random();
        for (std::uint32_t i = 0; i < 4 && address + i < range->end; ++i, word >>= 8) {
            image[address + i] = static_cast<std::uint8_t>(word);
        }
    }
    if (!WriteDescription(identity, image)) {
        return {};
    }
    return image;
}

}  // namespace velkor::sim
