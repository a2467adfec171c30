// Two port names that reach one device: a /dev/serial/by-id/ link and its target, or two links
// to one node. Two sessions on one device would garble each other's bytes.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace velkor {

// The first two names in `devices` that name the same device, in their given order.
std::optional<std::pair<std::string, std::string>> FindSameDevice(
    const std::vector<std::string>& devices);

}  // namespace velkor
