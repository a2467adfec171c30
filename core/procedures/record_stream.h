// The programming record stream, once the MCU has been asked to enter its boot loader: one
// address-tagged record per block of the image, each answered by status characters ending
// in '.', then the end record, with progress from 0 to 100.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "link/mcu_link.h"
#include "procedures/family_descriptor.h"
#include "procedures/stream_outcome.h"

namespace velkor {

// Results of Program.
enum ProgramResult : int {
    kProgramDone = 0,
    kProgramFailed = -1,
};

// The header of the data record for `address`.
std::vector<std::uint8_t> RecordHeader(const RecordLayout& layout, std::size_t address);
// The record that tells the boot loader the stream is complete.
std::vector<std::uint8_t> EndRecord(const RecordLayout& layout);

// Sends every block of `image` in the layout's range and then the end record. Fails, with
// nothing more sent and no end record, when a record cannot be written, when its status does
// not come, when a read fails, or when the link is stopping (checked before each record; a
// wait for a status ends at once). `outcome` tells how far it came, and where and why it broke
// off.
int SendRecords(CMcuLink& link, const RecordLayout& layout, const std::uint8_t* image,
                StreamOutcome& outcome);

}  // namespace velkor
