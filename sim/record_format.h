// How the boot loader of each MCU family takes its firmware: the records it reads, and the
// flash range they may write. The simulator's own description of the MCU, kept apart from
// the tool's tables so that each checks the other.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "settings/unit_types.h"
#include "sim/flash_memory.h"

namespace velkor::sim {

struct RecordFormat {
    std::string_view data_tag;  // before the address, which goes most significant byte first
    std::size_t address_bytes;
    std::size_t block_size;
    std::string_view end_tag;
    std::size_t end_length;  // of the whole end record, tag included
    FlashRange range;        // every data record falls inside it

    std::size_t data_length() const { return data_tag.size() + address_bytes + block_size; }
};

// The flash range the firmware of `family` occupies; empty for an undetermined family.
std::optional<FlashRange> ProgrammedRange(McuType family);

// The records the boot loader of `family` on a unit of `model` takes; empty when either is
// undetermined.
std::optional<RecordFormat> BootLoaderRecordFormat(AppType model, McuType family);

}  // namespace velkor::sim
