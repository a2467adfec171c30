#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace velkor::sim {
namespace {

bool SetDescriptorFlags(int fd) {
    const int status = ::fcntl(fd, F_GETFL);
    return status >= 0 && ::fcntl(fd, F_SETFL, status | O_NONBLOCK) == 0 &&
           ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

PseudoTerminal::~PseudoTerminal() {
    Hangup();
}

int PseudoTerminal::Open() {
    Hangup();
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0) {
        return errno;
    }
    const char* slave_name = nullptr;
    if (!SetDescriptorFlags(master_) || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        (slave_name = ::ptsname(master_)) == nullptr) {
        const int error = errno;
        Hangup();
        return error;
    }
    device_path_ = slave_name;
    held_slave_ = ::open(device_path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    termios tio{};
    if (held_slave_ < 0 || ::tcgetattr(held_slave_, &tio) != 0) {
        const int error = errno;
        Hangup();
        return error;
    }
    ::cfmakeraw(&tio);
    if (::tcsetattr(held_slave_, TCSANOW, &tio) != 0) {
        const int error = errno;
        Hangup();
        return error;
    }
    return 0;
}

void PseudoTerminal::Hangup() {
    if (held_slave_ >= 0) {
        ::close(held_slave_);
        held_slave_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}

}  // namespace velkor::sim
