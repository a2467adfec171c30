// The files a velkor-flash command writes (--log, --record, the image) must be none of the
// files it reads and no serial device: appending to the firmware file spoils it for every
// later load, and anything written to a serial device goes down the line to the unit.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velkor {

// A file the command reads or writes, which another file it writes must not be.
struct KeptFile {
    std::string path;       // empty: none
    std::string_view role;  // for example "the firmware file"
};

// Why `path`, which `option` names for writing ("--log", "--record"), is refused, as
// "--record X is the firmware file; name another file": it is one of `kept` (the same file or
// device, links followed, or the same path where it does not exist yet), or a serial device.
// Empty when it may be written.
std::string WriteRefusal(std::string_view option, const std::string& path,
                         const std::vector<KeptFile>& kept);

}  // namespace velkor
