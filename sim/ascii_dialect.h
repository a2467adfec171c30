// The ASCII dialect of R3360 units, MCU side: commands are lines from '$' to CR LF; replies
// are acknowledgement "@\r\n", "$V" text CR LF, and "CS:" four raw bytes CR LF.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/mcu_dialect.h"

namespace velkor::sim {

// The unit option command: '$' 'W', the TV, hand-brake and RDS letters, CR LF.
inline constexpr std::size_t kAsciiOptionCommandLength = 7;
inline constexpr std::uint8_t kAsciiOptionCommandTag = 'W';
inline constexpr std::size_t kAsciiOptionLettersAt = 2;

class AsciiDialect final : public McuDialect {
  public:
    // '$' always starts a new command, so a line broken off by noise is dropped, not merged.
    std::optional<SimCommand> Feed(std::uint8_t byte) override;

    Bytes Acknowledgement(const SimCommand& command) const override;
    Bytes VersionReply(std::string_view text) const override;
    // The value most significant byte first, raw: a byte that happens to be CR stays CR.
    Bytes ChecksumReply(std::uint32_t checksum) const override;

  private:
    // Longer lines are no command of this dialect; the limit keeps noise from piling up.
    static constexpr std::size_t kMaxLineLength = 32;

    static SimCommand Classify(Bytes line);

    Bytes line_;
    bool in_line_ = false;
};

}  // namespace velkor::sim
