// Faults the simulated MCU shows on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace velkor::sim {

// The commands a reply fault hits, as bits.
enum QueryScope : unsigned {
    kScopeVersion = 1u << 0,
    kScopeChecksum = 1u << 1,
    kScopeInformation = 1u << 2,
    kScopeAllQueries = kScopeVersion | kScopeChecksum | kScopeInformation,
    kScopeConfiguration = 1u << 3,  // the unit option command
    kScopeProgramming = 1u << 4,    // the programming entry command
    kScopeAll = kScopeAllQueries | kScopeConfiguration | kScopeProgramming,
};

struct SimFaults {
    // Reply faults: they hit the commands in `scope` only. A silent MCU does not act on the
    // command either; one that only loses the acknowledgement does.
    unsigned scope = kScopeAll;
    bool silent = false;  // no byte at all in answer
    bool no_ack = false;  // the reply comes, its acknowledgement does not
    std::string noise;    // unrelated bytes sent ahead of the acknowledgement
    // Only this many bytes of the reply after the acknowledgement go out.
    std::optional<std::size_t> cut_reply_after;
    // The bytes after the acknowledgement come this many milliseconds apart.
    std::optional<std::uint32_t> trickle_ms;

    // Line faults: they hit everything the MCU sends.
    std::uint32_t pace_baud = 0;  // 0: every reply arrives at once
    // The line drops once this many bytes have been sent (shortly after, so that the host can
    // still read the last of them) ...
    std::optional<std::size_t> drop_after_bytes;
    // ... or this many milliseconds after the simulator started, whichever comes first.
    std::optional<std::uint32_t> drop_at_ms;

    // Boot loader faults, counting data records from 1. After record k the boot loader ...
    std::optional<std::size_t> stop_after_records;    // ... answers nothing more
    std::optional<std::size_t> no_dot_after_records;  // ... sends status without the '.'
    std::optional<std::size_t> drop_after_records;    // ... hangs the line up
    // Record k is answered like every other, but its bytes never reach the flash.
    std::optional<std::size_t> corrupt_record;
    // After the end record the unit answers nothing more, as one that did not come back from
    // its reset.
    bool no_return = false;

    // The reply faults hit only the first this many commands in their scope; the unit answers
    // normally from then on, as one that has woken up.
    std::optional<std::size_t> fault_times;

    bool Hits(unsigned query) const { return (scope & query) != 0; }
};

}  // namespace velkor::sim
