#include "runs/port_list_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>

namespace velkor {

PortList ReadPortList(const std::string& path) {
    PortList list;
    std::ifstream in(path);
    if (!in) {
        list.error = "cannot read the port list ";
        list.error += path;
        list.error += ": ";
        list.error += std::strerror(errno);
        return list;
    }
    constexpr const char* kBlanks = " \t\r\v\f";
    std::string line;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(kBlanks);
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        const auto last = line.find_last_not_of(kBlanks);
        list.devices.push_back(line.substr(first, last - first + 1));
    }
    if (in.bad()) {
        list.error = "cannot read the port list ";
        list.error += path;
    }
    return list;
}

}  // namespace velkor
