// The write of the unit options: send them, wait for the MCU's acknowledgement and report the
// outcome. The MCU resets itself after taking them.
#pragma once

#include <cstdint>
#include <functional>

#include "link/mcu_link.h"

namespace velkor {

// `send` puts the family's option command on the wire and tells whether it went. Returns 0
// when the MCU acknowledged `ack_command`, else the wait's result, or `send_failed_result`
// when the command could not be sent (no acknowledgement is awaited then) or the link was
// stopped before it was sent.
int WriteUnitOptions(CMcuLink& link, std::uint8_t ack_command, int send_failed_result,
                     const std::function<bool()>& send);

}  // namespace velkor
