// Failures that say nothing of the file or device asked for, only that the process or the
// machine is short of something of its own (descriptors, memory): whoever meets one waits and
// tries again, and never blames the unit.
#pragma once

#include <cerrno>

namespace velkor {

constexpr bool IsResourceShortage(int error) {
    return error == EMFILE || error == ENFILE || error == ENOMEM || error == ENOBUFS;
}

}  // namespace velkor
