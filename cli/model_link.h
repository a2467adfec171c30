// Opening a head unit's serial line as the tool's update sequence does: the model line in the
// log, then the plain link of the model on the device at the model's speed.
#pragma once

#include <string>

#include "link/mcu_link.h"
#include "settings/unit_types.h"

namespace velkor {

// Logs "\r\nR3360\r\n" or "\r\nJ5\r\n" and opens `link`, the plain link of `model`, on
// `device`. False when the port cannot be used; the reason is in the log.
bool OpenModelLink(CMcuLink& link, AppType model, const std::string& device);

}  // namespace velkor
