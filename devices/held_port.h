// The refusal of a serial device that another program holds open: its reads would take the
// MCU's replies.
#pragma once

#include <string>

namespace velkor {

// One log line, ending "\r\n": `device` is held by `holders` (for example "cat (pid 4242)").
inline std::string HeldPortLine(const std::string& device, const std::string& holders) {
    std::string line = "Can not open serial port ";
    line += device;
    line += ": held by ";
    line += holders;
    line +=
        ", which would take the MCU's replies; close that program and try again, or give "
        "--force-port\r\n";
    return line;
}

}  // namespace velkor
