// Two port names that reach one device: a /dev/serial/by-id/ link and its target, or two links
// to one node. Two sessions on one device would garble each other's bytes.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velkor {

// What one file or device is, whatever name reaches it: the device number of a device node,
// the file system and inode of any other file (links followed), the resolved path of one that
// does not exist yet; two names of one thing give one key.
std::string FileKey(const std::string& path);

// The first two names in `devices` that name the same device, in their given order.
std::optional<std::pair<std::string, std::string>> FindSameDevice(
    const std::vector<std::string>& devices);

}  // namespace velkor
