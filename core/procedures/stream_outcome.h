// How far the programming record stream came, and where and why it broke off: what a front
// end needs to say more than "Update fail".
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velkor {

enum class StreamFailureCause {
    kNoStatus,    // the MCU sent nothing within the status time-out
    kLineFailed,  // a read or write on the line failed: the device hung up or went away
    kBabbling,    // status characters for too long without the record's '.'
    kStopped,     // the session was asked to stop
};

struct StreamFailure {
    std::size_t record = 0;  // counted from 1
    std::size_t address = 0;
    StreamFailureCause cause = StreamFailureCause::kNoStatus;
    // The status bytes the record got before it broke off, the last kKeptStatusBytes of them.
    std::string status_bytes;
    // From the end of the record's write to the failure.
    std::uint32_t waited_ms = 0;

    static constexpr std::size_t kKeptStatusBytes = 16;
};

struct StreamOutcome {
    std::size_t records_total = 0;
    std::size_t records_done = 0;  // answered with '.'
    std::size_t record_bytes = 0;  // image bytes in each record
    // On the session's clock: the first record's write, and the end of the stream (its end
    // record, or the failure).
    std::uint32_t started_ms = 0;
    std::uint32_t ended_ms = 0;
    bool began = false;  // the first record was sent
    std::optional<StreamFailure> failure;

    std::size_t bytes_total() const { return records_total * record_bytes; }
    std::size_t bytes_done() const { return records_done * record_bytes; }
    std::uint32_t duration_ms() const { return ended_ms - started_ms; }
};

}  // namespace velkor
