// Splits what the boot loader receives into the records of its family. Bytes that cannot
// start a record are skipped, so the reader finds the next record after noise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sim/record_format.h"
#include "sim/timed_byte.h"

namespace velkor::sim {

struct ReceivedRecord {
    bool end = false;           // the end record; else a data record
    std::uint32_t address = 0;  // of a data record
    Bytes data;                 // of a data record
};

class RecordReader {
  public:
    explicit RecordReader(const RecordFormat& format) : format_(format) {}

    // Takes one byte; returns the record this byte completes, if any.
    std::optional<ReceivedRecord> Feed(std::uint8_t byte);

    std::size_t skipped_bytes() const { return skipped_; }

  private:
    // True while the bytes held can still begin `tag`, or begin with it.
    bool CouldStart(std::string_view tag) const;
    bool StartsWith(std::string_view tag) const;
    ReceivedRecord Take();

    RecordFormat format_;
    Bytes held_;
    std::size_t skipped_ = 0;
};

}  // namespace velkor::sim
