// The ports of a bench, one device a line, for --ports-from.
#pragma once

#include <string>
#include <vector>

namespace velkor {

struct PortList {
    std::vector<std::string> devices;
    std::string error;  // empty when the file was read
};

// Blank lines and lines that begin with '#' are skipped; blanks around a name are dropped.
PortList ReadPortList(const std::string& path);

}  // namespace velkor
