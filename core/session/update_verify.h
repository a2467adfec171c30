// The check after an update: wait for the MCU to come back from the reset that follows
// programming, then compare the checksum it reports with the file checksum.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "session/update_session.h"

namespace velkor {

enum class VerifyVerdict {
    kMatches,      // the MCU reports the file's checksum
    kMismatch,     // it reports another
    kNoReturn,     // it did not answer the version query within the time given
    kNoChecksum,   // it came back, but did not answer the checksum query
    kStopped,      // the session was stopped before the verify ended
    kNotPossible,  // nothing to compare with: the slave MCU, no valid file checksum, or one the
                   // checksum reply of the dialect cannot carry
};

// Only a verify that could compare and did not find the file in the MCU fails.
constexpr bool VerifyFailed(VerifyVerdict verdict) {
    return verdict != VerifyVerdict::kMatches && verdict != VerifyVerdict::kNotPossible;
}

struct VerifyOutcome {
    VerifyVerdict verdict = VerifyVerdict::kNotPossible;
    // The version text the MCU reported when it came back, as its raw bytes.
    std::optional<std::string> version_text;
    // Its checksum reply, as read.
    std::optional<std::uint32_t> mcu_checksum;
    // How long the MCU took to come back, or how long it was waited for.
    std::uint32_t waited_ms = 0;
};

// The version query is repeated this often while the MCU is away.
inline constexpr std::uint32_t kVerifyQueryIntervalMs = 1000;
inline constexpr std::uint32_t kDefaultVerifyTimeoutMs = 20000;

// Runs on the session's current link after a successful Program, logging what it finds:
// version queries about once a second until one is answered or `timeout_ms` have passed (a
// query under way then still ends), then the checksum query. The lines of the queries that
// went unanswered are left out of the log. Ends early when the session is stopped.
VerifyOutcome VerifyUpdate(UpdateSession& session, std::uint32_t timeout_ms);

}  // namespace velkor
