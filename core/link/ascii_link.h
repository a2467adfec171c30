// The ASCII command dialect of R3360 units: "$" commands ending in CR LF, at 19200 baud.
#pragma once

#include <cstdint>

#include "link/mcu_link.h"
#include "link/reply_wait.h"

namespace velkor {

class CAsciiLink : public CMcuLink {
  public:
    explicit CAsciiLink(LinkContext& context);

    int OpenDefault() override;
    // Waits for '@' CR LF; the command byte plays no part in this dialect. 0 acknowledged,
    // 1 time-out, 2 read failure.
    int WaitAck(std::uint8_t command, std::uint32_t timeout_ms) override;
    int QueryVersion() override;
    int SendPrelude() override;
    int QueryInformation() override;
    int QueryChecksum() override;
    // The reply ends at the first value byte equal to CR: only the bytes before it arrive.
    std::optional<std::uint32_t> ChecksumAsReplied(std::uint32_t checksum) const override;

  protected:
    int ReadVersionReply(std::uint32_t timeout_ms);
    int ReadChecksumReply(std::uint32_t timeout_ms);

    // The dialect's result for the outcome of a reply wait.
    static int ResultOf(ReplyWaitResult outcome);
};

}  // namespace velkor
